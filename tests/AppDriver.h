// SPDX-License-Identifier: MIT
#ifndef APPDRIVER_H
#define APPDRIVER_H

#include "TestBus.h"

#include <MApplication.h>
#include <MApplicationWindow.h>
#include <MNamespace.h>

#include <QObject>
#include <QStringList>
#include <QtGlobal>

#include <functional>

class MButton;
class MTextEdit;
class QGraphicsWidget;
class ZAVTestListObject;
class ZAVTestShowTransferPage;
class ZAVTestSliderObject;

// Helpers that drive the app as a tester would: real clicks, typing and picks.

// The start of a test of the app's pages: a private bus with the real service on it, and the
// window shown. A test class derives from it (it has no test functions of its own).
class AppFixture : public QObject
{
protected:
    // For initTestCase(): false when the bus or the service did not start.
    bool startApp()
    {
        if (!m_bus.start() || !m_bus.startService())
            return false;
        m_window.show();
        return true;
    }

    TestBus m_bus;
    MApplicationWindow m_window;
};

// Captures every message written while it lives (and passes none on).
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    // Lines that contain `text`.
    int count(const QString &text) const;
    bool contains(const QString &text) const { return count(text) > 0; }
    void clear();
};

// Answers the next answer box that opens with `button`, and remembers its text.
class DialogAnswerer : public QObject
{
    Q_OBJECT
public:
    explicit DialogAnswerer(MApplicationWindow *window, QObject *parent = nullptr);
    void answerNext(M::StandardButton button)
    {
        m_button = button;
        m_armed = true;
    }
    bool answered() const { return !m_armed; }
    QString lastText() const { return m_lastText; }
    QString lastTitle() const { return m_lastTitle; }
    int boxesSeen() const { return m_seen; }
    // Runs while a box is open, before it is answered.
    std::function<void()> whileOpen;

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    MApplicationWindow *m_window;
    M::StandardButton m_button = M::OkButton;
    bool m_armed = false;
    QString m_lastText;
    QString m_lastTitle;
    int m_seen = 0;
};

// The button of a page whose text is `text` (the first found among the page's items).
MButton *findButton(QGraphicsWidget *page, const QString &text);

void pickOption(ZAVTestListObject &list, const QString &option);
void dragSlider(ZAVTestSliderObject &slider, int position);
void typeAndReturn(MTextEdit *field, const QString &text);
// Waits (at most 5 s) until the service has answered every registration the page sent.
bool registrationsAnswered(ZAVTestShowTransferPage *page);
// A press and release on the item's centre, through the window.
void pressOn(MApplicationWindow *window, QGraphicsWidget *item);
// Clicks a button as the user would, through the window.
void clickOn(MApplicationWindow *window, MButton *button);

// main() of a test program whose pages need the application object (and its theme).
#define ZAV_TEST_MAIN(TestClass)                                                                                       \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        MApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

// main() of a test program on a virtual X server of its own (pixels read back from the server),
// with the bus started before the application: the xcb platform reaches for the session bus as
// it starts. The tests reach the bus through g_bus.
#define ZAV_SCREEN_TEST_MAIN(TestClass) ZAV_SCREEN_TEST_MAIN_SIZED(TestClass, "1024x768x24")
#define ZAV_SCREEN_TEST_MAIN_SIZED(TestClass, screen)                                                                  \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        QProcess xvfb;                                                                                                 \
        TestBus bus;                                                                                                   \
        if (!startVirtualDisplay(xvfb, QStringLiteral(screen)) || !bus.start())                                        \
            return 1;                                                                                                  \
        g_bus = &bus;                                                                                                  \
        int result = 0;                                                                                                \
        {                                                                                                              \
            MApplication app(argc, argv);                                                                              \
            TestClass test;                                                                                            \
            result = QTest::qExec(&test, argc, argv);                                                                  \
        }                                                                                                              \
        xvfb.terminate();                                                                                              \
        xvfb.waitForFinished();                                                                                        \
        return result;                                                                                                 \
    }

#endif
