#include "console/widgets/SkinPicture.h"

#include <QPixmap>
#include <cstring>
#include <vector>

#include "base/ByteOrder.h"
#include "platform/Resources.h"

namespace tamboro::console {
namespace {

constexpr int kKey = 252;

}  // namespace

QImage LoadSkinPicture(std::string_view name, bool keyTransparent) {
    const auto data = platform::FindResource(name, "BITMAP");
    if (data.size() < 54) return {};
    QImage image;
    if (data[0] == 'B' && data[1] == 'M') {
        image.loadFromData(data.data(), static_cast<int>(data.size()), "BMP");
    } else {
        // A bare bitmap block: the toolkit's reader wants the 14-byte file
        // header in front, whose last field is the offset of the pixels.
        const std::uint32_t infoSize =
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        const unsigned bits = data[14] | data[15] << 8;
        std::uint32_t colours =
            data[32] | data[33] << 8 | data[34] << 16 | static_cast<std::uint32_t>(data[35]) << 24;
        if (colours == 0 && bits <= 8) colours = 1u << bits;
        std::vector<std::uint8_t> file(14 + data.size());
        file[0] = 'B';
        file[1] = 'M';
        base::StoreLe<32>(file.data() + 2, static_cast<std::uint32_t>(file.size()));
        base::StoreLe<32>(file.data() + 10, 14 + infoSize + 4 * colours);
        std::memcpy(file.data() + 14, data.data(), data.size());
        image.loadFromData(file.data(), static_cast<int>(file.size()), "BMP");
    }
    if (image.isNull() || !keyTransparent) return image;
    if (image.format() == QImage::Format_Indexed8 && image.colorCount() > kKey) {
        QList<QRgb> table = image.colorTable();
        table[kKey] = qRgba(0, 0, 0, 0);
        image.setColorTable(table);
        return image.convertToFormat(QImage::Format_ARGB32);
    }
    return image;
}

QCursor LoadSkinCursor(std::string_view name, int hotX, int hotY, Qt::CursorShape fallback) {
    const QImage image = LoadSkinPicture(name, true);
    if (image.isNull()) return QCursor(fallback);
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

}  // namespace tamboro::console
