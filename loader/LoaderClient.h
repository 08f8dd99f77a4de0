#pragma once

#include <QString>

// The program's side of decoding: imaging::decodeFile(), decodeData() and
// loadPicture() send every file to the loader processes found beside the
// executable (lumora-loader, and lumora-loader-emf for EMF).
namespace lumora::loader
{

inline constexpr int kDefaultTimeLimitMs = 20000;

struct LoaderSettings {
    int timeLimitMs = kDefaultTimeLimitMs; // a decode that takes longer costs its worker
    // The loader programs; empty means the ones beside this executable (or
    // LUMORA_LOADER / LUMORA_LOADER_EMF when set, for test builds).
    QString program;
    QString emfProgram;
    int workers = 0; // 0: one per core, at most four
    // Decodes in this process instead, unguarded: only for benchmarks that
    // measure what the loader processes cost against the same decoders.
    bool inProcess = false;
};

// Replaces the settings; decodes already under way finish on the old pool.
// Settings that differ in the time limit alone keep the loaders running.
void configure(const LoaderSettings &settings);
LoaderSettings currentSettings();

// Starts the loader processes now, so the first picture does not wait for
// them to load their libraries.
void startLoaders();

// One line for About's System Info: whether the loaders run sandboxed.
// Starts one if none has run yet.
QString sandboxDescription();

// Loader processes started so far (replacements of dead ones included).
int loadersStarted();
// The peak resident memory of the loader processes alive now, in kilobytes.
qint64 loadersPeakMemoryKb();

} // namespace lumora::loader
