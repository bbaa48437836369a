#pragma once
// The scratch file "recfg": every new content of vux_reader.cfg (the default
// or a rewrite) and of its backup vux_reader.cfg.bak is written there first
// and then renamed over its target in one step, so the target is always
// either the old or the new complete file. Whatever stands under the name
// "recfg" when a write begins (a file left by a killed run, a link, a pipe,
// an empty directory) is removed without being followed, opened or read, and
// "recfg" is created new.

#include <sys/types.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "config/config_file.h"
#include "core/error.h"

namespace vux {

inline constexpr const char* kScratchConfigName = "recfg";

// One write through "recfg" towards `target`, a name in the working
// directory. One exists at a time in a process (a second one waits for the
// first to end). When it ends without Install() (the run stopped meanwhile),
// it closes "recfg" and removes it: no failure leaves a scratch file behind.
//
// Failures stop the run (status -1) with "\n<what>: <system's reason>\n",
// where <what> is one of "Cannot remove the old recfg", "Cannot create
// recfg", "Cannot write recfg" and "Cannot replace <target> with recfg";
// "recfg" reads "recfg (for <target>)" when the target is not vux_reader.cfg.
class ScratchConfig {
public:
    // Removes what stands under "recfg" (unlinked, never followed) and
    // creates "recfg" exclusive and without following links, mode 0666 less
    // the umask. `target` must outlive the object.
    explicit ScratchConfig(const char* target = kConfigFileName);
    ~ScratchConfig();
    ScratchConfig(const ScratchConfig&) = delete;
    ScratchConfig& operator=(const ScratchConfig&) = delete;

    // Appends `size` bytes (buffered).
    void Write(const char* data, std::size_t size);

    // The permission bits (0777 mask) the target gets instead of the mode
    // "recfg" was created with; set on the scratch file before the rename.
    void KeepPermissions(mode_t bits) { permissions_ = bits & 0777; }

    // Flushes, puts the bytes on disk, closes and renames "recfg" over the
    // target (never removing the target first).
    void Install();

private:
    [[noreturn]] void Abandon(ErrorKind kind, int err);

    std::unique_lock<std::mutex> turn_;  // held from creation to the end
    const char* target_;
    std::FILE* file_ = nullptr;
    bool present_ = false;  // "recfg" is this object's and still on disk
    std::optional<mode_t> permissions_;
};

// Installs `scratch` over vux_reader.cfg and returns vux_reader.cfg open for
// reading at its start (stops the run with status -1 when it cannot be
// opened).
std::FILE* InstallScratchConfig(ScratchConfig& scratch);

// For the thread that ends an interrupted run, just before the process dies:
// waits until a write through "recfg" in progress has ended (renamed into
// place or removed) and keeps any later one from starting, so the process
// never dies with a scratch file on disk. Never returns the turn.
void HoldScratchConfigForExit();

}  // namespace vux
