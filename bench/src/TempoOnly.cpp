// Tempo stage alone: a libsox chain "input -> tempo -> output" where input
// and output are in-memory effects, as in the Zorvane tempo stage but
// without ring buffers or other threads. Each file is decoded into memory
// first, outside the measured time.
// Usage: bench-tempo FACTOR FILE...

#include "BenchCommon.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sox.h>

namespace {

struct Source {
    const bench::Pcm* pcm = nullptr;
    size_t position = 0;
};

struct Sink {
    unsigned long long samples = 0;
    int64_t checksum = 0;
};

// Effect private data holds one pointer; the chain copies it per effect.
template <typename T> T* Bound(sox_effect_t* effp) {
    return *static_cast<T**>(effp->priv);
}

int MemoryDrain(sox_effect_t* effp, sox_sample_t* obuf, size_t* osamp) {
    Source* source = Bound<Source>(effp);
    const size_t channels = size_t(source->pcm->channels);
    const size_t left = source->pcm->samples.size() - source->position;
    size_t n = *osamp / channels * channels;
    if (n > left) {
        n = left;
    }
    std::memcpy(obuf, source->pcm->samples.data() + source->position, n * sizeof(sox_sample_t));
    source->position += n;
    *osamp = n;
    return n > 0 ? SOX_SUCCESS : SOX_EOF;
}

int MemoryFlow(sox_effect_t* effp, const sox_sample_t* ibuf, sox_sample_t*, size_t* isamp,
               size_t* osamp) {
    Sink* sink = Bound<Sink>(effp);
    sink->samples += *isamp;
    // Touching the output keeps the work honest: it is read once, as the
    // encoder stage would read it.
    for (size_t i = 0; i < *isamp; ++i) {
        sink->checksum += ibuf[i];
    }
    *osamp = 0;
    return SOX_SUCCESS;
}

const sox_effect_handler_t kInput = {"input", nullptr,     SOX_EFF_MCHAN, nullptr, nullptr,
                                     nullptr, MemoryDrain, nullptr,       nullptr, sizeof(void*)};
const sox_effect_handler_t kOutput = {"output",   nullptr, SOX_EFF_MCHAN, nullptr, nullptr,
                                      MemoryFlow, nullptr, nullptr,       nullptr, sizeof(void*)};

void AddEffect(sox_effects_chain_t* chain, const sox_effect_handler_t* handler, void* binding,
               const char* option, sox_signalinfo_t* running, const sox_signalinfo_t* fixed) {
    sox_effect_t* effect = sox_create_effect(handler);
    if (!effect) {
        bench::Fail("effect not created");
    }
    if (binding) {
        *static_cast<void**>(effect->priv) = binding;
    }
    if (option) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s", option);
        char* args[] = {buffer};
        if (sox_effect_options(effect, 1, args) != SOX_SUCCESS) {
            bench::Fail(std::string("option refused: ") + option);
        }
    }
    if (sox_add_effect(chain, effect, running, fixed) != SOX_SUCCESS) {
        bench::Fail(std::string("effect not added: ") + handler->name);
    }
    // The chain keeps its own copy of the effect record.
    std::free(effect);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        bench::Fail("usage: bench-tempo FACTOR FILE...");
    }
    const char* factor = argv[1];
    if (sox_init() != SOX_SUCCESS) {
        bench::Fail("sox_init failed");
    }
    bench::Stopwatch watch;
    Sink sink;
    for (int i = 2; i < argc; ++i) {
        const bench::Pcm pcm = bench::DecodeAll(argv[i]);
        Source source{&pcm, 0};
        watch.Start();
        sox_signalinfo_t running{double(pcm.rate), unsigned(pcm.channels), 32, SOX_UNKNOWN_LEN,
                                 nullptr};
        const sox_signalinfo_t fixed = running;
        sox_encodinginfo_t encoding{SOX_ENCODING_SIGN2, 32,       0.0, sox_option_no, sox_option_no,
                                    sox_option_no,      sox_false};
        sox_effects_chain_t* chain = sox_create_effects_chain(&encoding, &encoding);
        AddEffect(chain, &kInput, &source, nullptr, &running, &running);
        AddEffect(chain, sox_find_effect("tempo"), nullptr, factor, &running, &fixed);
        AddEffect(chain, &kOutput, &sink, nullptr, &running, &fixed);
        sox_flow_effects(chain, nullptr, nullptr);
        sox_delete_effects_chain(chain);
        watch.Stop();
    }
    sox_quit();
    watch.Print();
    std::printf("samples %llu checksum %lld\n", sink.samples,
                static_cast<long long>(sink.checksum));
    return 0;
}
