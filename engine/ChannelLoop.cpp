#include "engine/ChannelLoop.h"

#include <sys/stat.h>

#include <utility>

#include "platform/TempFiles.h"

namespace tamboro::engine {

ChannelLoop::ChannelLoop(std::string path, std::shared_ptr<base::UnfmArchive> archive,
                         std::int64_t record)
    : m_path(std::move(path)), m_archive(std::move(archive)), m_record(record) {}

std::shared_ptr<const ChannelLoop> ChannelLoop::InFile(std::string path) {
    return std::shared_ptr<const ChannelLoop>(new ChannelLoop(std::move(path), nullptr, -1));
}

std::shared_ptr<const ChannelLoop> ChannelLoop::InArchive(
    std::shared_ptr<base::UnfmArchive> archive, std::int64_t record, const std::string& path) {
    if (!archive) return nullptr;
    auto* loop = new ChannelLoop({}, std::move(archive), record);
    struct stat file {};
    if (::stat(path.c_str(), &file) == 0) {
        loop->m_fileDevice = file.st_dev;
        loop->m_fileInode = file.st_ino;
    }
    return std::shared_ptr<const ChannelLoop>(loop);
}

bool ChannelLoop::Same(const ChannelLoop* a, const ChannelLoop* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr || !a->IsInArchive() || !b->IsInArchive()) return false;
    // A file saved over is a new file (a new inode): its records are other
    // loops even where the numbers match.
    return a->m_fileInode != 0 && a->m_record == b->m_record &&
           a->m_fileDevice == b->m_fileDevice && a->m_fileInode == b->m_fileInode;
}

ChannelLoop::~ChannelLoop() {
    if (!m_path.empty()) platform::DeleteFile(m_path);
}

std::unique_ptr<base::GlobalStorage> ChannelLoop::Image() const {
    std::unique_ptr<base::GlobalStorage> image;
    if (m_archive) {
        int result = 0;
        image = m_archive->ReadRecordStorage(m_record, &result);
    } else {
        image = std::make_unique<base::GlobalStorage>(m_path);
    }
    if (!image || image->Data() == nullptr) return nullptr;
    return image;
}

}  // namespace tamboro::engine
