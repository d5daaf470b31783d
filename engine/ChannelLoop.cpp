#include "engine/ChannelLoop.h"

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
    std::shared_ptr<base::UnfmArchive> archive, std::int64_t record) {
    if (!archive) return nullptr;
    return std::shared_ptr<const ChannelLoop>(new ChannelLoop({}, std::move(archive), record));
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
