#include "tools/help/Artwork.h"

#include <QFile>

// Resources of a static library are registered only when asked for by name.
static void initHelpResources()
{
    Q_INIT_RESOURCE(Help);
}

namespace kw {

namespace {
void ensureResources()
{
    static const bool done = (initHelpResources(), true);
    (void)done;
}
} // namespace

QIcon appIcon()
{
    ensureResources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/kwotnik/kwotnik-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap logoPicture(qreal devicePixelRatio)
{
    ensureResources();
    if (devicePixelRatio > 1.25) {
        QPixmap sharp(QStringLiteral(":/kwotnik/logo@2x.png"));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QPixmap(QStringLiteral(":/kwotnik/logo.png"));
}

} // namespace kw
