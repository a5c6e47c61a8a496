// SPDX-License-Identifier: MIT
#include "AppDriver.h"

#include <MApplication.h>
#include <MApplicationPage.h>
#include <MApplicationWindow.h>
#include <MButton.h>
#include <MComboBox.h>
#include <MLabel.h>
#include <MMessageBox.h>
#include <MSlider.h>

#include <QFile>
#include <QGraphicsLinearLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QGraphicsProxyWidget>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cmath>

class CountingPage : public MApplicationPage
{
public:
    int created = 0;
    int rows = 0;

protected:
    void createContent() override
    {
        ++created;
        auto *layout = new QGraphicsLinearLayout(Qt::Vertical, centralWidget());
        for (int i = 0; i < rows; ++i)
            layout->addItem(new MButton(QStringLiteral("Row %1").arg(i)));
    }
};

// The framework layer on its own.
class tst_Framework : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_window = new MApplicationWindow;
        m_window->show();
    }
    void cleanup() { delete m_window; }

    // The handset's size, or what the screen has room for.
    void windowIsHandsetSized()
    {
        QCOMPARE(m_window->size(), QSize(854, 480).boundedTo(m_window->screen()->availableGeometry().size()));
    }

    // Every text on a coloured ground in the theme, and the scroll bar's handle on its bar, at
    // least 4.5:1 (the Info button's white on amber was 2.6:1). The rules are read from the
    // theme as loaded, so a new rule is checked too.
    void themeContrast()
    {
        const auto luminance = [](const QColor &c) {
            const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
        };
        const auto contrast = [&](const QString &a, const QString &b) {
            const double x = luminance(MApplication::themeColor(a)), y = luminance(MApplication::themeColor(b));
            return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
        };
        QFile file(QStringLiteral(":/zavframework/theme.qss"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString sheet = QString::fromUtf8(file.readAll());
        const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
        const QRegularExpression background(QStringLiteral("background:\\s*@(\\w+)"));
        const QRegularExpression ink(QStringLiteral("(?:^|[;\\s])color:\\s*@(\\w+)"));
        int pairs = 0;
        for (const QRegularExpressionMatch &m : rule.globalMatch(sheet)) {
            const QString body = m.captured(2);
            const QString ground = background.match(body).captured(1);
            const QString text = ink.match(body).captured(1);
            // Controls that cannot be used are exempt, as in the accessibility guidelines.
            if (ground.isEmpty() || text.isEmpty() || m.captured(1).contains(QLatin1String(":disabled")))
                continue;
            ++pairs;
            QVERIFY2(contrast(text, ground) >= 4.5, qPrintable(m.captured(1).trimmed()));
        }
        QVERIFY(pairs >= 5);
        const QRegularExpression handle(
            QStringLiteral("QScrollBar::handle:vertical\\s*\\{[^}]*background:\\s*@(\\w+)"));
        const QRegularExpression bar(QStringLiteral("QScrollBar:vertical\\s*\\{[^}]*background:\\s*@(\\w+)"));
        QVERIFY(handle.match(sheet).hasMatch() && bar.match(sheet).hasMatch());
        QVERIFY(contrast(handle.match(sheet).captured(1), bar.match(sheet).captured(1)) >= 4.5);
    }

    void contentIsCreatedOnceBeforeTheFirstShowing()
    {
        CountingPage page;
        QCOMPARE(page.created, 0);
        page.appear();
        page.appear();
        CountingPage other;
        other.appear();
        page.appear();
        QCOMPARE(page.created, 1);
        QCOMPARE(m_window->currentPage(), &page);
    }

    void disappearShowsThePreviousPage()
    {
        MApplicationPage first, second;
        first.appear();
        second.appear();
        second.disappear();
        QCOMPARE(m_window->currentPage(), &first);
        // A page deleted while shown leaves the window without a page, not with a dangling one.
        auto *third = new MApplicationPage;
        third->appear();
        delete third;
        QVERIFY(!m_window->currentPage());
        // A page shown to be destroyed when done goes once it has disappeared; a kept one stays.
        QPointer<MApplicationPage> once = new MApplicationPage, kept = new MApplicationPage;
        once->appear(MSceneWindow::DestroyWhenDone);
        kept->appear(MSceneWindow::KeepWhenDone);
        kept->disappear();
        once->disappear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!once && kept);
        delete kept;
    }

    // A page belongs to the window that showed it; a new page goes to the newest window, and to
    // the older one once the newest is gone.
    void pagesAreShownByTheirOwnWindow()
    {
        MApplicationPage first, second, third;
        first.appear();
        {
            MApplicationWindow newer;
            second.appear();
            QCOMPARE(newer.currentPage(), &second);
            first.disappear();
            QVERIFY(!m_window->currentPage());
            QCOMPARE(newer.currentPage(), &second);
            first.appear();
            QCOMPARE(m_window->currentPage(), &first);
            QCOMPARE(newer.currentPage(), &second);
        }
        third.appear();
        QCOMPARE(m_window->currentPage(), &third);
        delete m_window;
        m_window = nullptr;
        MMessageBox box(QStringLiteral("Nowhere"), M::OkButton);
        QCOMPARE(box.exec(), int(M::NoStandardButton));
    }

    void aPageIsBackWhereItWasScrolled()
    {
        CountingPage list;
        list.rows = 60;
        list.appear();
        QScrollBar *bar = m_window->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 300);
        bar->setValue(300);
        MApplicationPage detail;
        detail.appear();
        QCOMPARE(bar->value(), 0);
        detail.disappear();
        QTRY_COMPARE(bar->value(), 300);
        // A page that shows one thing after another starts from its top each time.
        CountingPage another;
        another.rows = 60;
        another.setKeepsScrollPosition(false);
        another.appear();
        QTRY_VERIFY(bar->maximum() > 300);
        bar->setValue(200);
        list.appear();
        QTRY_COMPARE(bar->value(), 300);
        another.appear();
        QCOMPARE(bar->value(), 0);
    }

    void anOpenListStaysWithinTheWindow()
    {
        // A list of 40 entries, at the top of the page and near its bottom: before, it opened up
        // under the bar (its first entries hidden) or off the bottom edge.
        CountingPage page;
        page.rows = 12;
        page.appear();
        auto *layout = static_cast<QGraphicsLinearLayout *>(page.centralWidget()->layout());
        auto *top = new MComboBox;
        auto *low = new MComboBox;
        layout->insertItem(0, top);
        layout->addItem(low);
        QStringList entries;
        for (int i = 0; i < 40; ++i)
            entries << QStringLiteral("Entry %1").arg(i);
        for (MComboBox *box : {top, low}) {
            box->comboWidget()->addItems(entries);
            box->setCurrentIndex(20);
        }
        QTRY_VERIFY(low->isVisible() && low->geometry().bottom() > 400);
        m_window->verticalScrollBar()->setValue(m_window->verticalScrollBar()->maximum());
        for (MComboBox *box : {top, low}) {
            m_window->ensureVisible(box);
            box->comboWidget()->showPopup();
            QGraphicsProxyWidget *popup = box->comboWidget()->view()->window()->graphicsProxyWidget();
            QVERIFY(popup);
            const QRectF shown = m_window->mapToScene(m_window->viewport()->rect()).boundingRect();
            QVERIFY2(shown.contains(popup->sceneBoundingRect()),
                     qPrintable(QDebug::toString(popup->sceneBoundingRect()) + QDebug::toString(shown)));
            // Above the rows after it while open (they would paint over it and take its clicks).
            MComboBox *other = box == top ? low : top;
            QVERIFY(box->zValue() > other->zValue());
            box->comboWidget()->hidePopup();
            QCOMPARE(box->zValue(), other->zValue());
        }
    }

    // Tab walks the enabled controls in reading order and on round the bar's button; Shift+Tab
    // walks back.
    void tabWalksTheEnabledControlsAndTheBar()
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        CountingPage page;
        page.rows = 3;
        page.appear();
        QGraphicsLayout *layout = page.centralWidget()->layout();
        const auto row = [layout](int i) { return static_cast<MButton *>(layout->itemAt(i)); };
        row(1)->setEnabled(false);
        // Where the keys are: a control of the page, or null for the bar's button.
        const auto keysAt = [this]() -> QGraphicsItem * {
            return m_window->escapeButton()->hasFocus() ? nullptr : m_window->scene()->focusItem();
        };
        QTRY_COMPARE(keysAt(), row(0));
        const QList<std::pair<Qt::Key, QGraphicsItem *>> walk {{Qt::Key_Tab, row(2)},
                                                               {Qt::Key_Tab, nullptr},
                                                               {Qt::Key_Tab, row(0)},
                                                               {Qt::Key_Backtab, nullptr},
                                                               {Qt::Key_Backtab, row(2)}};
        for (const auto &[key, to] : walk) {
            QTest::keyClick(m_window, key);
            QCOMPARE(keysAt(), to);
        }
    }

    void aDialogTakesEveryInput()
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        CountingPage page;
        page.rows = 3;
        page.appear();
        QList<MButton *> beneath;
        for (int i = 0; i < page.centralWidget()->layout()->count(); ++i)
            beneath << static_cast<MButton *>(page.centralWidget()->layout()->itemAt(i));
        int pressed = 0;
        for (MButton *b : beneath)
            connect(b, &MButton::clicked, this, [&pressed] { ++pressed; });
        // At a page change the keys go to the new page's first control.
        QVERIFY(beneath.first()->hasFocus());
        MMessageBox box(QStringLiteral("Sure?"), M::OkButton | M::DiscardButton);
        bool focusStayedInTheBox = false, pageBlocked = false;
        QTimer::singleShot(20, m_window, [&] {
            // The box takes the keys as it opens, and assistive technology is told that the page
            // beneath takes nothing; a press, Tab and Space there reach nothing.
            focusStayedInTheBox = box.isAncestorOf(m_window->scene()->focusItem());
            pageBlocked = QAccessible::queryAccessibleInterface(&page)->state().disabled;
            pressOn(m_window, beneath.at(1));
            for (int i = 0; i < 4; ++i) {
                QTest::keyClick(m_window, Qt::Key_Tab);
                focusStayedInTheBox &= box.isAncestorOf(m_window->scene()->focusItem());
            }
            box.done(M::OkButton);
        });
        QCOMPARE(box.exec(), int(M::OkButton));
        QCOMPARE(pressed, 0);
        QVERIFY(focusStayedInTheBox);
        QVERIFY(pageBlocked);
        QVERIFY(!QAccessible::queryAccessibleInterface(&page)->state().disabled);
        // Return presses the focused button.
        QTRY_VERIFY(beneath.first()->hasFocus());
        QTest::keyClick(m_window, Qt::Key_Return);
        QCOMPARE(pressed, 1);
    }

    void closeAsksWhenThereIsAQuestion()
    {
        MApplicationPage page;
        page.setEscapeMode(MApplicationPageModel::EscapeCloseWindow);
        page.appear();
        m_window->setCloseQuestion([] { return QStringLiteral("Really?"); });
        DialogAnswerer answerer(m_window);
        answerer.answerNext(M::CancelButton);
        m_window->escapeButton()->click();
        QTRY_VERIFY(answerer.answered());
        QCOMPARE(answerer.lastText(), QStringLiteral("Really?"));
        QVERIFY(m_window->isVisible());
        answerer.answerNext(M::OkButton);
        m_window->escapeButton()->click();
        QTRY_VERIFY(!m_window->isVisible());
    }

    void dialogReturnsThePressedButton()
    {
        MApplicationPage page;
        page.appear();
        DialogAnswerer answerer(m_window);
        answerer.answerNext(M::DiscardButton);
        MMessageBox box(QStringLiteral("Sure?"), M::OkButton | M::DiscardButton);
        QCOMPARE(box.exec(), int(M::DiscardButton));
        QCOMPARE(answerer.lastText(), QStringLiteral("Sure?"));
        QVERIFY(!m_window->topDialog());
        QVERIFY(!box.scene()); // gone from the window, not left drawn over the page
        answerer.answerNext(M::OkButton);
        QCOMPARE(box.exec(), int(M::OkButton));
        // Return presses the default button (OK), whatever the order of the others.
        QTimer::singleShot(20, m_window, [this] { QTest::keyClick(m_window, Qt::Key_Return); });
        QCOMPARE(box.exec(), int(M::OkButton));
        // Esc and a closing window dismiss it with neither button; the bar takes no press
        // meanwhile (before, its Back declined a request).
        bool barTookPresses = true;
        QTimer::singleShot(20, m_window, [&] {
            barTookPresses = m_window->escapeButton()->isEnabled();
            QTest::keyClick(m_window, Qt::Key_Escape);
        });
        QCOMPARE(box.exec(), int(M::NoStandardButton));
        QVERIFY(!barTookPresses);
        QVERIFY(m_window->escapeButton()->isEnabled());
        QTimer::singleShot(20, m_window, &QWidget::close);
        QCOMPARE(box.exec(), int(M::NoStandardButton));
        QCOMPARE(m_window->currentPage(), &page);
    }

    void controlsPassStyleNamesAndInput()
    {
        MLabel label(QStringLiteral("x"));
        const QColor plain = label.textColor();
        label.setObjectName(QStringLiteral("ElementTransferCol2"));
        QVERIFY(label.textColor() != plain);
        QVERIFY(!label.font().bold());
        label.setObjectName(QStringLiteral("ElementTransferCol1"));
        QVERIFY(label.font().bold());
        // A button's style name reaches the widget that the style sheet styles.
        MButton styled(QStringLiteral("Add"));
        styled.setObjectName(QStringLiteral("PushButton"));
        QCOMPARE(styled.widget()->objectName(), QStringLiteral("PushButton"));
        // Picking the entry shown is told apart (the option is sent again); a pick past the
        // entries is nothing.
        MComboBox list;
        list.comboWidget()->addItems({QStringLiteral("a"), QStringLiteral("b")});
        QSignalSpy changed(&list, &MComboBox::currentIndexChanged), again(&list, &MComboBox::reselected);
        for (const int index : {0, 1, 2, -1})
            list.pick(index);
        QCOMPARE(again.count(), 1);
        QCOMPARE(changed.count(), 1);
        // A label names the control it is the caption of, whatever it says later.
        label.setBuddy(&list);
        label.setText(QStringLiteral("Speed"));
        QCOMPARE(list.control()->accessibleName(), QStringLiteral("Speed"));
        // A value set from outside (assistive technology) is taken only within the shown scale.
        MSlider slider;
        QList<double> written;
        slider.setShownScale([] { return 0.0; }, [&written](double value) { written << value; }, 0, 100);
        for (const double value : {-1.0, 100.5, qQNaN(), qInf(), 100.0, 0.0})
            slider.setShownValue(value);
        QCOMPARE(written, QList<double>({100, 0}));
    }

private:
    MApplicationWindow *m_window = nullptr;
};

ZAV_TEST_MAIN(tst_Framework)
#include "tst_framework.moc"
