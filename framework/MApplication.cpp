#include "MApplication.h"

#include "MApplicationWindow.h"

#include <QFile>
#include <QList>

namespace {
QList<MApplicationWindow *> &windows()
{
    static QList<MApplicationWindow *> list;
    return list;
}
} // namespace

static void initThemeResource()
{
    // The theme lives in a static library; its resources need an explicit hook.
    Q_INIT_RESOURCE(theme);
}

MApplication::MApplication(int &argc, char **argv, const QString &appIdentifier, MApplicationService *)
    : QApplication(argc, argv)
    , m_identifier(appIdentifier)
{
    if (!appIdentifier.isEmpty())
        setApplicationName(appIdentifier);
    setStyleSheet(themeStyleSheet());
}

MApplication::~MApplication() = default;

MApplicationWindow *MApplication::activeApplicationWindow()
{
    return windows().isEmpty() ? nullptr : windows().constLast();
}

QString MApplication::themeStyleSheet()
{
    initThemeResource();
    QFile file(QStringLiteral(":/zavframework/theme.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void MApplication::registerWindow(MApplicationWindow *window)
{
    windows().append(window);
}

void MApplication::unregisterWindow(MApplicationWindow *window)
{
    windows().removeAll(window);
}
