#include "TempoStage.h"

#include "ConversionState.h"
#include "ConversionTask.h"
#include "EncoderStage.h"
#include "EngineContext.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <sox.h>
#include <stdexcept>
#include <type_traits>

namespace zorvane {

namespace {

// What the two ring effects need. SoX allocates each effect's private data
// (priv_size bytes, zeroed) and frees it with free(), without a destructor,
// so the binding lives there by value: it must stay trivially copyable and
// trivially destructible. It refers to the run's context and state, which
// outlive the chain (RunTempoStage deletes the chain before it returns), and
// concurrent runs (pipelines, tests) never share one.
struct RingBinding {
    EngineContext& ctx;
    ConversionState& state;
    const CConversionTask& task; // the driver's working copy, alive until joined
};
static_assert(std::is_trivially_copyable_v<RingBinding>);
static_assert(std::is_trivially_destructible_v<RingBinding>);

RingBinding& BindingOf(sox_effect_t* effp) {
    return *static_cast<RingBinding*>(effp->priv);
}

// "input": hands SoX the decoded samples; end of input once the decoder has
// finished and the ring is empty.
int InputDrain(sox_effect_t* effp, sox_sample_t* obuf, size_t* osamp) {
    RingBinding& binding = BindingOf(effp);
    const size_t channels = effp->out_signal.channels ? effp->out_signal.channels : 1;
    const uint32_t requested = uint32_t(*osamp / channels * channels);
    SampleRing& ring = binding.ctx.decodedRing;
    while (binding.state.IsRunning()) {
        // Flag first: once it reads 0, the fill level read by Read() is final.
        const bool decoderDone = binding.task.decoding.Get() == 0;
        if (decoderDone || ring.Used(0) >= requested) {
            const uint32_t n = ring.Read(obuf, requested);
            *osamp = n;
            return n > 0 ? SOX_SUCCESS : SOX_EOF;
        }
        BackOff(binding.state.profile.tempo.waitInputUs);
    }
    *osamp = 0;
    return SOX_EOF;
}

// "output": stores the chain's result for the encoder; produces nothing.
int OutputFlow(sox_effect_t* effp, const sox_sample_t* ibuf, sox_sample_t*, size_t* isamp,
               size_t* osamp) {
    RingBinding& binding = BindingOf(effp);
    SampleRing& ring = binding.ctx.processedRing;
    const uint32_t count = uint32_t(*isamp);
    while (binding.state.IsRunning()) {
        if (ring.Free() >= count) {
            if (ring.Write(ibuf, count) < count) {
                return SOX_EOF;
            }
            *osamp = 0;
            return SOX_SUCCESS;
        }
        BackOff(binding.state.profile.tempo.waitOutputUs);
    }
    return SOX_EOF;
}

// The two ring effects: no options, no start or stop, all channels at once.
constexpr sox_effect_handler_t RingEffect(const char* name, sox_effect_handler_flow flow,
                                          sox_effect_handler_drain drain) {
    return {.name = name,
            .usage = nullptr,
            .flags = SOX_EFF_MCHAN,
            .getopts = nullptr,
            .start = nullptr,
            .flow = flow,
            .drain = drain,
            .stop = nullptr,
            .kill = nullptr,
            .priv_size = sizeof(RingBinding)};
}

constexpr sox_effect_handler_t kInputHandler = RingEffect("input", nullptr, InputDrain);
constexpr sox_effect_handler_t kOutputHandler = RingEffect("output", OutputFlow, nullptr);

// libsox's effect lookup rewrites process-wide handler records as it walks
// its table ("channels" and "pitch" are copies of other effects' handlers,
// patched on every lookup) and chain set-up writes other globals without a
// lock, so two chains must never be built at the same time. Flowing and
// deleting chains side by side is safe: each chain works on its own copies,
// the one shared cache (the FFT tables of "rate") has its own lock, and what
// else is shared (the name of the effect that last logged, a drain's input
// count that is always 0) is only written, whole, never read at our
// verbosity.
std::mutex& ChainSetupMutex() {
    static std::mutex mutex;
    return mutex;
}

struct ChainDeleter {
    void operator()(sox_effects_chain_t* chain) const { sox_delete_effects_chain(chain); }
};
using EffectsChain = std::unique_ptr<sox_effects_chain_t, ChainDeleter>;

// Creates an effect by handler, gives it its option (or none) or its ring
// binding (or none) and adds it to the chain.
void AddEffect(sox_effects_chain_t* chain, const sox_effect_handler_t* handler, char* option,
               sox_signalinfo_t* running, const sox_signalinfo_t* fixed,
               const RingBinding* binding) {
    if (!handler) {
        throw std::runtime_error("effect not available");
    }
    sox_effect_t* effect = sox_create_effect(handler);
    if (!effect) {
        throw std::runtime_error("effect not created");
    }
    if (binding) {
        std::memcpy(effect->priv, binding, sizeof *binding);
    }
    if (option) {
        char* args[] = {option};
        if (sox_effect_options(effect, 1, args) != SOX_SUCCESS) {
            sox_delete_effect(effect);
            throw std::runtime_error("effect option refused");
        }
    }
    const int added = sox_add_effect(chain, effect, running, fixed);
    // The chain keeps a copy of the effect record and owns its private data.
    free(effect);
    if (added != SOX_SUCCESS) {
        throw std::runtime_error("effect not added");
    }
}

// The chain and each of its effects keep a pointer to this for their life.
constexpr sox_encodinginfo_t kSampleEncoding{.encoding = SOX_ENCODING_SIGN2,
                                             .bits_per_sample = 32,
                                             .compression = 0.0,
                                             .reverse_bytes = sox_option_no,
                                             .reverse_nibbles = sox_option_no,
                                             .reverse_bits = sox_option_no,
                                             .opposite_endian = sox_false};

// Builds "input", the task's effects and "output", one chain at a time.
EffectsChain BuildChain(const CConversionTask& task, const ConversionSettings& settings,
                        const RingBinding& binding) {
    sox_signalinfo_t running{.rate = double(task.sourceRate),
                             .channels = unsigned(task.sourceChannels),
                             .precision = 32,
                             .length = SOX_UNKNOWN_LEN,
                             .mult = nullptr};
    const sox_signalinfo_t fixed = running;
    std::lock_guard setup(ChainSetupMutex());
    EffectsChain chain(sox_create_effects_chain(&kSampleEncoding, &kSampleEncoding));
    if (!chain) {
        throw std::runtime_error("no chain");
    }
    AddEffect(chain.get(), &kInputHandler, nullptr, &running, &running, &binding);
    for (const QString& step : TempoChainFor(task, settings)) {
        // "name option": the option is handed to SoX as it was formatted.
        const QByteArray words = step.toLatin1();
        const qsizetype space = words.indexOf(' ');
        QByteArray option = space < 0 ? QByteArray() : words.mid(space + 1);
        AddEffect(chain.get(), sox_find_effect(words.left(space).constData()),
                  space < 0 ? nullptr : option.data(), &running, &fixed, nullptr);
    }
    AddEffect(chain.get(), &kOutputHandler, nullptr, &running, &fixed, &binding);
    return chain;
}

} // namespace

bool EnsureSoxLibrary() {
    static const bool ok = sox_init() == SOX_SUCCESS;
    return ok;
}

QStringList TempoChainFor(const CConversionTask& task, const ConversionSettings& settings) {
    QStringList chain;
    if (task.targetChannels != task.sourceChannels) {
        chain << QStringLiteral("channels %1").arg(task.targetChannels);
    }
    const int speed = UsableSpeedPercent(settings.speedPercent);
    if (settings.speedMode != SpeedModeResample) {
        if (task.targetRate != task.sourceRate) {
            chain << QStringLiteral("rate %1").arg(task.targetRate);
        }
        chain << QStringLiteral("tempo %1").arg(double(speed) / 100.0, 0, 'f', 6);
    } else {
        const int rate = int(double(task.targetRate) * 100.0 / double(speed) + 0.5);
        chain << QStringLiteral("rate %1").arg(rate);
    }
    return chain;
}

int RunTempoStage(EngineContext& ctx, CConversionTask& task) {
    ConversionState& state = *ctx.progressWindow;
    StageTimer timer(state.profile.tempo);
    task.processing.Set(1);
    const RingBinding binding{ctx, state, task};
    int result = 1;
    try {
        if (!EnsureSoxLibrary()) {
            throw std::runtime_error("sox_init failed");
        }
        const EffectsChain chain = BuildChain(task, state.settings, binding);
        state.encoderThread.Start([&ctx, &task] { RunEncoder(ctx, task); });
        // A flow that ends while the run goes on, before the decoder has
        // finished, would leave the decoder waiting for room for ever.
        const int flowed = sox_flow_effects(chain.get(), nullptr, nullptr);
        if (state.IsRunning() && (flowed != SOX_SUCCESS || task.decoding.Get() == 1)) {
            throw std::runtime_error("the effects chain stopped early");
        }
    } catch (const std::exception& e) {
        state.Stop();
        state.PostLog(QStringLiteral("An error occurred while processing audio data"), LogError,
                      QString::fromLocal8Bit(e.what()));
        result = 0;
    } catch (...) {
        state.Stop();
        state.PostLog(QStringLiteral("An error occurred while processing audio data"), LogError);
        result = 0;
    }
    task.processing.Set(0);
    return result;
}

} // namespace zorvane
