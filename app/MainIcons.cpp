#include "app/MainIcons.h"

#include <QImageReader>
#include <QPixmap>

// Outside any namespace: the resource's init function is a global name.
static void InitIconResources()
{
    // The pictures live in this static library; the linker keeps them only
    // when something asks for them by name.
    static const bool Done = [] {
        Q_INIT_RESOURCE(MainIcons);
        return true;
    }();
    (void)Done;
}

namespace {

struct TIconName {
    const char* Theme; // freedesktop icon name
    const char* File;  // built-in picture
};

TIconName IconName(EMainIcon Which)
{
    switch (Which) {
    case EMainIcon::AddFiles:
        return {"list-add", "add-files"};
    case EMainIcon::AddFolder:
        return {"folder-new", "add-folder"};
    case EMainIcon::OutputFolder:
        return {"folder", "output-folder"};
    case EMainIcon::LoadProfile:
        return {"document-open", "load-profile"};
    case EMainIcon::SaveProfile:
        return {"document-save", "save-profile"};
    case EMainIcon::RemoveFile:
        return {"list-remove", "remove-file"};
    case EMainIcon::ClearFiles:
        return {"edit-clear", "clear-files"};
    case EMainIcon::Format:
        return {"image-x-generic", "format"};
    case EMainIcon::Resize:
        return {"zoom-fit-best", "resize"};
    case EMainIcon::Run:
        return {"media-playback-start", "run"};
    case EMainIcon::Preview:
        return {"zoom-original", "preview"};
    case EMainIcon::Settings:
        return {"preferences-system", "settings"};
    case EMainIcon::Help:
        return {"help-contents", "help"};
    case EMainIcon::About:
        return {"help-about", "about"};
    case EMainIcon::Exit:
        return {"application-exit", "exit"};
    case EMainIcon::Paste:
        return {"edit-paste", "paste"};
    case EMainIcon::Thumbnail:
        return {"view-preview", "thumbnail"};
    }
    return {"", ""};
}

// A built-in picture drawn at each size once. Drawn pictures, not a vector
// icon engine: such an engine lives in a plug-in that may be unloaded before
// the last icon is freed at exit.
QIcon BuiltinIcon(const QString& File, std::initializer_list<int> Sizes)
{
    QIcon Icon;
    for (int S : Sizes) {
        QImageReader Reader(File);
        Reader.setScaledSize(QSize(S, S));
        const QImage Img = Reader.read();
        if (!Img.isNull())
            Icon.addPixmap(QPixmap::fromImage(Img));
    }
    return Icon;
}

} // namespace

QIcon MainIcon(EMainIcon Which)
{
    InitIconResources();
    const TIconName N = IconName(Which);
    const QString Theme = QString::fromLatin1(N.Theme);
    if (QIcon::hasThemeIcon(Theme))
        return QIcon::fromTheme(Theme);
    return BuiltinIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(N.File)), {16, 20, 24, 32, 48});
}

QIcon ApplicationIcon()
{
    InitIconResources();
    return BuiltinIcon(QStringLiteral(":/icons/vestro.svg"), {16, 24, 32, 48, 64, 128, 256});
}
