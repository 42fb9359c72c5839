#include "TempoStage.h"

#include "ConversionState.h"
#include "ConversionTask.h"
#include "EncoderStage.h"
#include "EngineContext.h"

#include <cstdio>
#include <mutex>
#include <sox.h>
#include <stdexcept>
#include <thread>

namespace zorvane {

namespace {

// What the two ring effects need; the chain copies this pointer into each
// effect's private data, so concurrent runs (tests) never share anything.
struct RingBinding {
    EngineContext* ctx;
    ConversionState* state;
};

RingBinding* BindingOf(sox_effect_t* effp) {
    return *static_cast<RingBinding**>(effp->priv);
}

// "input": hands SoX the decoded samples; end of input once the decoder has
// finished and the ring is empty.
int InputDrain(sox_effect_t* effp, sox_sample_t* obuf, size_t* osamp) {
    RingBinding* binding = BindingOf(effp);
    const size_t channels = effp->out_signal.channels ? effp->out_signal.channels : 1;
    const uint32_t requested = uint32_t(*osamp / channels * channels);
    SampleRing& ring = binding->ctx->decodedRing;
    while (binding->state->IsRunning()) {
        // Flag first: once it reads 0, the fill level read by Read() is final.
        const CConversionTask* task = binding->ctx->currentTask.load();
        const bool decoderDone = !task || task->decoding.Get() == 0;
        if (decoderDone || ring.Used(0) >= requested) {
            const uint32_t n = ring.Read(obuf, requested);
            *osamp = n;
            return n > 0 ? SOX_SUCCESS : SOX_EOF;
        }
        BackOff(binding->state->profile.tempo.waitInputUs);
    }
    *osamp = 0;
    return SOX_EOF;
}

// "output": stores the chain's result for the encoder; produces nothing.
int OutputFlow(sox_effect_t* effp, const sox_sample_t* ibuf, sox_sample_t*, size_t* isamp,
               size_t* osamp) {
    RingBinding* binding = BindingOf(effp);
    SampleRing& ring = binding->ctx->processedRing;
    const uint32_t count = uint32_t(*isamp);
    while (binding->state->IsRunning()) {
        if (ring.Free() >= count) {
            if (ring.Write(ibuf, count) < count) {
                return SOX_EOF;
            }
            *osamp = 0;
            return SOX_SUCCESS;
        }
        BackOff(binding->state->profile.tempo.waitOutputUs);
    }
    return SOX_EOF;
}

const sox_effect_handler_t* InputHandler() {
    static const sox_effect_handler_t handler = {
        "input", nullptr,    SOX_EFF_MCHAN, nullptr, nullptr,
        nullptr, InputDrain, nullptr,       nullptr, sizeof(RingBinding*)};
    return &handler;
}

const sox_effect_handler_t* OutputHandler() {
    static const sox_effect_handler_t handler = {
        "output",   nullptr, SOX_EFF_MCHAN, nullptr, nullptr,
        OutputFlow, nullptr, nullptr,       nullptr, sizeof(RingBinding*)};
    return &handler;
}

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

// Creates an effect by handler, applies one option (or none) and adds it.
void AddEffect(sox_effects_chain_t* chain, const sox_effect_handler_t* handler, const char* option,
               sox_signalinfo_t* running, const sox_signalinfo_t* fixed, RingBinding* binding) {
    if (!handler) {
        throw std::runtime_error("effect not available");
    }
    sox_effect_t* effect = sox_create_effect(handler);
    if (!effect) {
        throw std::runtime_error("effect not created");
    }
    if (binding) {
        *static_cast<RingBinding**>(effect->priv) = binding;
    }
    if (option) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%s", option);
        char* args[] = {buffer};
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

struct EffectStep {
    const char* name;
    char option[16];
};

std::vector<EffectStep> ChainSteps(const CConversionTask& task,
                                   const ConversionSettings& settings) {
    std::vector<EffectStep> steps;
    auto add = [&steps](const char* name, const char* fmt, auto value) {
        EffectStep step{name, {}};
        std::snprintf(step.option, sizeof step.option, fmt, value);
        steps.push_back(step);
    };
    if (task.targetChannels != task.sourceChannels) {
        add("channels", "%d", int(task.targetChannels));
    }
    // A speed outside the offered range would make the rate below divide by
    // zero or ask SoX for nonsense; the settings store keeps it in range, and
    // this keeps a hand-built task from doing harm.
    const int speed = qBound(kMinSpeedPercent, int(settings.speedPercent), kMaxSpeedPercent);
    if (settings.speedMode != SpeedModeResample) {
        if (task.targetRate != task.sourceRate) {
            add("rate", "%d", int(task.targetRate));
        }
        add("tempo", "%f", double(speed) / 100.0);
    } else {
        const int rate = int(double(task.targetRate) * 100.0 / double(speed) + 0.5);
        add("rate", "%d", rate);
    }
    return steps;
}

} // namespace

bool EnsureSoxLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = sox_init() == SOX_SUCCESS; });
    return ok;
}

QStringList TempoChainFor(const CConversionTask& task, const ConversionSettings& settings) {
    QStringList chain;
    for (const EffectStep& step : ChainSteps(task, settings)) {
        chain << QStringLiteral("%1 %2").arg(QLatin1String(step.name), QLatin1String(step.option));
    }
    return chain;
}

int RunTempoStage(EngineContext& ctx, CConversionTask& task) {
    ConversionState& state = *ctx.progressWindow;
    StageTimer timer(state.profile.tempo);
    task.processing.Set(1);
    RingBinding binding{&ctx, &state};
    int result = 1;
    try {
        if (!EnsureSoxLibrary()) {
            throw std::runtime_error("sox_init failed");
        }
        sox_signalinfo_t running{double(task.sourceRate), unsigned(task.sourceChannels), 32,
                                 SOX_UNKNOWN_LEN, nullptr};
        const sox_signalinfo_t fixed = running;
        sox_encodinginfo_t encoding{SOX_ENCODING_SIGN2, 32,       0.0, sox_option_no, sox_option_no,
                                    sox_option_no,      sox_false};
        std::unique_ptr<sox_effects_chain_t, ChainDeleter> chain;
        {
            std::lock_guard setup(ChainSetupMutex());
            chain.reset(sox_create_effects_chain(&encoding, &encoding));
            if (!chain) {
                throw std::runtime_error("no chain");
            }
            AddEffect(chain.get(), InputHandler(), nullptr, &running, &running, &binding);
            for (const EffectStep& step : ChainSteps(task, state.settings)) {
                AddEffect(chain.get(), sox_find_effect(step.name), step.option, &running, &fixed,
                          nullptr);
            }
            AddEffect(chain.get(), OutputHandler(), nullptr, &running, &fixed, &binding);
        }

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
