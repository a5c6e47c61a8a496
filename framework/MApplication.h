// SPDX-License-Identifier: MIT
#ifndef MAPPLICATION_H
#define MAPPLICATION_H

#include <QApplication>
#include <QColor>

class MApplicationService;

// The application object. It takes the command line unchanged and loads the framework's theme.
class MApplication : public QApplication
{
    Q_OBJECT
public:
    MApplication(int &argc, char **argv, const QString &appIdentifier = QString(),
                 MApplicationService *service = nullptr);
    ~MApplication() override;

    // The theme's style sheet, for programs that use the framework's widgets without an
    // MApplication (tests, tools).
    static QString themeStyleSheet();
    // One of the theme's colours by role ("ink", "heading", "muted", "accent", …); what the
    // style sheet calls @role. An unknown role is the text colour.
    static QColor themeColor(const QString &role);
};

#endif
