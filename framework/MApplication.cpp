// SPDX-License-Identifier: MIT
#include "MApplication.h"

#include "MAccessible.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace {
// The theme's colours by role, the one place they are written.
const QHash<QString, QColor> &themeColors()
{
    static const QHash<QString, QColor> colors {
        {QStringLiteral("background"), QColor(0xee, 0xf1, 0xf5)},
        {QStringLiteral("ink"), QColor(0x1f, 0x2a, 0x36)},
        {QStringLiteral("heading"), QColor(0x22, 0x31, 0x3f)},
        {QStringLiteral("muted"), QColor(0x4b, 0x5a, 0x69)},
        {QStringLiteral("faint"), QColor(0x5b, 0x6b, 0x7b)},
        {QStringLiteral("alert"), QColor(0xb0, 0x3a, 0x2e)},
        {QStringLiteral("light"), QColor(0xff, 0xff, 0xff)},
        {QStringLiteral("titleButton"), QColor(0x3b, 0x52, 0x66)},
        {QStringLiteral("titleButtonPressed"), QColor(0x4f, 0x6c, 0x86)},
        {QStringLiteral("button"), QColor(0xdf, 0xe5, 0xec)},
        {QStringLiteral("buttonPressed"), QColor(0xc9, 0xd3, 0xde)},
        {QStringLiteral("border"), QColor(0xc3, 0xcc, 0xd6)},
        {QStringLiteral("disabledInk"), QColor(0x9a, 0xa5, 0xb1)},
        {QStringLiteral("disabledButton"), QColor(0xec, 0xef, 0xf3)},
        {QStringLiteral("accent"), QColor(0x2f, 0x74, 0xc8)},
        {QStringLiteral("accentPressed"), QColor(0x25, 0x5d, 0xa1)},
        {QStringLiteral("accentDisabled"), QColor(0xa9, 0xbf, 0xd9)},
        {QStringLiteral("accentDisabledInk"), QColor(0xee, 0xf3, 0xf9)},
        {QStringLiteral("toggle"), QColor(0xe4, 0xe8, 0xed)},
        {QStringLiteral("toggleOn"), QColor(0x1f, 0x7a, 0x44)},
        {QStringLiteral("info"), QColor(0xe3, 0x9a, 0x1c)},
        {QStringLiteral("focus"), QColor(0x1a, 0x56, 0xa8)},
        {QStringLiteral("readOnly"), QColor(0xf1, 0xf3, 0xf6)},
    };
    return colors;
}
} // namespace

static void initThemeResource()
{
    // The theme lives in a static library; its resources need an explicit hook.
    Q_INIT_RESOURCE(theme);
}

MApplication::MApplication(int &argc, char **argv, const QString &appIdentifier, MApplicationService *)
    : QApplication(argc, argv)
{
    if (!appIdentifier.isEmpty())
        setApplicationName(appIdentifier);
    setStyleSheet(themeStyleSheet());
    MAccessible::install();
}

MApplication::~MApplication() = default;

QString MApplication::themeStyleSheet()
{
    initThemeResource();
    QFile file(QStringLiteral(":/zavframework/theme.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString sheet = QString::fromUtf8(file.readAll());
    static const QRegularExpression role(QStringLiteral("@(\\w+)"));
    QString themed;
    qsizetype done = 0;
    for (const QRegularExpressionMatch &m : role.globalMatch(sheet)) {
        themed += QStringView(sheet).mid(done, m.capturedStart() - done);
        themed += themeColor(m.captured(1)).name();
        done = m.capturedEnd();
    }
    themed += QStringView(sheet).mid(done);
    return themed;
}

QColor MApplication::themeColor(const QString &role)
{
    return themeColors().value(role, themeColors().value(QStringLiteral("ink")));
}
