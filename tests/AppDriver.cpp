// SPDX-License-Identifier: MIT
#include "AppDriver.h"

#include "ZAVTestAppUiElements.h"
#include "ZAVTestShowTransferPage.h"

#include <MApplicationWindow.h>
#include <MButton.h>
#include <MComboBox.h>
#include <MDialog.h>
#include <MMessageBox.h>
#include <MSlider.h>
#include <MTextEdit.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMutex>
#include <QSlider>
#include <QTest>

namespace {
QMutex g_mutex;
QStringList g_lines;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&g_mutex);
    g_lines.append(text);
}
} // namespace

LogCapture::LogCapture()
{
    clear();
    g_previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(g_previous);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&g_mutex);
    return g_lines;
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    for (const QString &line : lines()) {
        if (line.contains(text))
            ++n;
    }
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&g_mutex);
    g_lines.clear();
}

DialogAnswerer::DialogAnswerer(MApplicationWindow *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    startTimer(5);
}

void DialogAnswerer::timerEvent(QTimerEvent *)
{
    if (!m_armed)
        return;
    MDialog *dialog = m_window->topDialog();
    if (!dialog)
        return;
    ++m_seen;
    if (auto *box = qobject_cast<MMessageBox *>(dialog))
        m_lastText = box->text();
    m_lastTitle = dialog->title();
    if (whileOpen)
        whileOpen();
    m_armed = false;
    if (m_button == M::NoStandardButton)
        dialog->reject();
    else
        dialog->button(m_button)->click();
}

MButton *findButton(QGraphicsWidget *page, const QString &text)
{
    const QList<QGraphicsItem *> items = page->childItems();
    for (QGraphicsItem *item : items) {
        if (auto *button = qobject_cast<MButton *>(item->toGraphicsObject())) {
            if (button->text() == text)
                return button;
        }
        if (auto *widget = qobject_cast<QGraphicsWidget *>(item->toGraphicsObject())) {
            if (MButton *found = findButton(widget, text))
                return found;
        }
    }
    return nullptr;
}

void pickOption(ZAVTestListObject &list, const QString &option)
{
    QComboBox *combo = list.comboBox()->comboWidget();
    const int index = list.optionList().indexOf(option);
    QVERIFY2(index >= 0, qPrintable(option));
    // In the order of a click in the open list: it closes, then the index changes and the pick
    // is reported.
    combo->showPopup();
    combo->hidePopup();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void dragSlider(ZAVTestSliderObject &slider, int position)
{
    QSlider *widget = slider.slider()->sliderWidget();
    widget->setSliderDown(true);
    widget->setSliderPosition(position);
    widget->setSliderDown(false);
}

void typeAndReturn(MTextEdit *field, const QString &text)
{
    auto *line = qobject_cast<QLineEdit *>(field->editWidget());
    QVERIFY(line);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    QTest::keyClicks(line, text);
    QTest::keyClick(line, Qt::Key_Return);
}

void pressOn(MApplicationWindow *window, QGraphicsWidget *item)
{
    // Pending layout requests first: an item placed a moment ago has no geometry before them.
    QCoreApplication::processEvents();
    window->ensureVisible(item);
    const QPoint centre = window->mapFromScene(item->mapToScene(item->rect().center()));
    QTest::mouseClick(window->viewport(), Qt::LeftButton, {}, centre);
}

void clickOn(MApplicationWindow *window, MButton *button)
{
    QVERIFY(button->isVisible());
    pressOn(window, button);
}

bool registrationsAnswered(ZAVTestShowTransferPage *page)
{
    return QTest::qWaitFor([page] { return page->registeringCount() == 0; }, 5000);
}
