#pragma once
// The audio of a channel's loop as it was loaded, shared by the song and by
// every copy of its document (the undo history keeps copies): copying a
// document copies a pointer, never samples. Immutable once made.
//
// The loop lies either in a temporary source file of its own, let go with
// the last owner, or in a record of an open song file, which stays open
// (and readable, even after it was replaced on disk) while any loop of it
// is held.
#include <cstdint>
#include <memory>
#include <string>

#include "base/Storage.h"
#include "base/UnfmArchive.h"

namespace tamboro::engine {

class ChannelLoop {
  public:
    // Takes over the temporary file at `path`; it is deleted with the loop.
    static std::shared_ptr<const ChannelLoop> InFile(std::string path);
    // Record `record` of the song file `archive` (opened from `path`),
    // which is kept open.
    static std::shared_ptr<const ChannelLoop> InArchive(std::shared_ptr<base::UnfmArchive> archive,
                                                        std::int64_t record,
                                                        const std::string& path);
    ~ChannelLoop();
    ChannelLoop(const ChannelLoop&) = delete;
    ChannelLoop& operator=(const ChannelLoop&) = delete;

    bool IsInArchive() const { return m_archive != nullptr; }
    // The temporary source file; empty for a loop in a song file.
    const std::string& SourceFile() const { return m_path; }
    // The loop's complete WAV file image; null when it cannot be read.
    // Owner thread: the song file's reader is not shared between threads.
    std::unique_ptr<base::GlobalStorage> Image() const;

    // Whether `a` and `b` hold the same audio without reading it: the same
    // loop, or the same record of the same song file (two loads of one
    // file). Either may be null (an empty channel).
    static bool Same(const ChannelLoop* a, const ChannelLoop* b);

  private:
    ChannelLoop(std::string path, std::shared_ptr<base::UnfmArchive> archive, std::int64_t record);

    std::string m_path;
    std::shared_ptr<base::UnfmArchive> m_archive;
    std::int64_t m_record = -1;
    // The song file's identity when it was opened (0 when unknown).
    std::uint64_t m_fileDevice = 0;
    std::uint64_t m_fileInode = 0;
};

}  // namespace tamboro::engine
