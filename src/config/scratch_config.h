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

#include "core/error.h"
#include "core/unique_fd.h"

namespace vux {
inline constexpr const char* kScratchConfigName = "recfg";

// One write through "recfg" towards `target`, a name in the working
// directory. One exists at a time in a process (a second one waits for the
// first to end). When it ends without Install() (the run stopped meanwhile),
// it closes "recfg" and removes it: no failure leaves a scratch file behind.
//
// Failures throw ScratchConfigRemove, ScratchConfigCreate, ScratchConfigWrite
// or ScratchConfigReplace, naming the target and the system's reason.
class ScratchConfig {
public:
    // Removes what stands under "recfg" (unlinked, never followed) and
    // creates "recfg" exclusive and without following links, mode 0666 less
    // the umask. `target` must outlive the object.
    explicit ScratchConfig(const char* target);
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

    const char* target() const { return target_; }

private:
    [[noreturn]] void Abandon(ErrorKind kind, int err);

    std::unique_lock<std::mutex> turn_;  // held from creation to the end
    const char* target_;
    UniqueFile file_;
    bool present_ = false;  // "recfg" is this object's and still on disk
    std::optional<mode_t> permissions_;
};

// Installs `scratch` over its target and returns the target open for
// reading at its start (throws ConfigCannotOpen when it cannot be opened).
UniqueFile InstallScratchConfig(ScratchConfig& scratch);

// For the thread that ends an interrupted run, just before the process dies:
// waits until a write through "recfg" in progress has ended (renamed into
// place or removed) and keeps any later one from starting, so the process
// never dies with a scratch file on disk. Never returns the turn.
void HoldScratchConfigForExit();
}  // namespace vux
