#pragma once

// Shared by the window tests of the help, about and splash: saving what a window looks like.
#include <QDir>
#include <QWidget>

namespace kw::test {

// With KW_RENDER_DIR set, saves the window as <dir>/<name>.png, so a person can look at it.
inline void renderIfAsked(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("KW_RENDER_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace kw::test
