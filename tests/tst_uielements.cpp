#include "AppDriver.h"
#include "ZAVTestAppUiElements.h"

#include <MButton.h>
#include <MComboBox.h>
#include <MSlider.h>

#include <QGraphicsLinearLayout>
#include <QGraphicsWidget>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class tst_UiElements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layoutIsBuiltOnce()
    {
        QGraphicsWidget page;
        ZAVTestTransferNameObject names(nullptr);
        QGraphicsLinearLayout *first = names.createLayout(&page);
        MComboBox *combo = names.comboBox();
        QCOMPARE(names.createLayout(&page), first);
        QCOMPARE(names.comboBox(), combo);
        QCOMPARE(first->count(), 1);
        QCOMPARE(names.findChildren<QAbstractItemModel *>().size(), 1);
        QCOMPARE(combo->title(), QStringLiteral("Transfer Name"));
        QVERIFY(!combo->isIconVisible());
        delete first->itemAt(0); // the page owns what it was given; keep the test tidy
    }

    void programSelectionBeforeBuildingEmitsNothing()
    {
        ZAVTestTransferStatusObject status(nullptr);
        OptionSpy changed(&status);
        QVERIFY(status.setCurrentOption(QStringLiteral("Error")));
        status.createLayout(nullptr);
        QCOMPARE(changed.options.size(), 0);
        QCOMPARE(status.comboBox()->currentIndex(), 3);
        // The tester's pick wins over the program's selection.
        pickOption(status, QStringLiteral("Inactive"));
        QCOMPARE(changed.options, QStringList {QStringLiteral("Inactive")});
        QCOMPARE(status.currentOption(), QStringLiteral("Inactive"));
    }

    void unknownAndDuplicateTexts()
    {
        ZAVTestTransferStatusObject status(nullptr);
        QVERIFY(status.setCurrentOption(QStringLiteral("Done")));
        status.createLayout(nullptr);
        // Not in the catalogue: false, stored index reset, the combo box keeps what it shows.
        QVERIFY(!status.setCurrentOption(QStringLiteral("Pending")));
        QCOMPARE(status.comboBox()->currentIndex(), 6);

        ZAVTestTransferTypeObject type(nullptr);
        QVERIFY(type.setCurrentOption(QStringLiteral("Sync")));
        QVERIFY(!type.setCurrentOption(QStringLiteral("download")));
        QCOMPARE(type.currentOption(), QStringLiteral("Download"));

        ZAVTestIconObject icons(nullptr);
        icons.optionList()[5] = QStringLiteral("pdf");
        QVERIFY(icons.setCurrentOption(QStringLiteral("pdf")));
        icons.createLayout(nullptr);
        QCOMPARE(icons.comboBox()->currentIndex(), 0);
    }

    void positionsAndValues_data()
    {
        QTest::addColumn<int>("maximum");
        QTest::addColumn<uint>("steps");
        QTest::addColumn<int>("position");
        QTest::addColumn<double>("value");
        QTest::newRow("bottom") << 1000 << 100u << 0 << 0.0;
        QTest::newRow("first") << 1000 << 100u << 1 << 1.0;
        QTest::newRow("start") << 1000 << 100u << 3 << 2.0;
        QTest::newRow("one decade") << 1000 << 100u << 101 << 10.0;
        QTest::newRow("two decades") << 201 << 100u << 201 << 100.0;
        QTest::newRow("estimate top") << 310 << 60u << 310 << 141254.0;
        QTest::newRow("size top") << 1000 << 100u << 1000 << 9772372210.0;
    }
    void positionsAndValues()
    {
        QFETCH(int, maximum);
        QFETCH(uint, steps);
        QFETCH(int, position);
        QFETCH(double, value);
        ZAVTestSliderObject slider(QStringLiteral("bytes"), QStringLiteral("Size"), nullptr);
        QVERIFY(slider.setMaximum(maximum));
        QVERIFY(slider.setStepsPerDecade(steps));
        QVERIFY(slider.setSliderValue(position));
        LogCapture log;
        QCOMPARE(slider.value(), value);
        // Position 0 is the only one read back without a line.
        QCOMPARE(log.contains(QStringLiteral("For slider value")), position != 0);
    }

    void handleLabelAndRoundTrip()
    {
        QGraphicsWidget page;
        ZAVTestSliderObject size(QStringLiteral("bytes"), QStringLiteral("Size"), nullptr);
        size.createLayout(&page);
        QVERIFY(size.setSliderValue(1000));
        QCOMPARE(size.slider()->handleLabel(), QStringLiteral("9.77237e+09 bytes"));

        ZAVTestSliderObject progress(QString(), QStringLiteral("Progress (in %)"), nullptr);
        progress.setMaximum(201);
        progress.createLayout(&page);
        QSignalSpy values(&progress, &ZAVTestSliderObject::valueChanged);
        progress.setValue(50);
        QCOMPARE(progress.storedPosition(), 170);
        QCOMPARE(progress.value(), 49.0);
        QCOMPARE(values.size(), 1);
        QCOMPARE(progress.slider()->handleLabel(), QStringLiteral("49 "));
        // 0 moves to the bottom instead of being refused: before, the slider kept the previous
        // transfer's value.
        progress.setValue(0);
        QCOMPARE(progress.storedPosition(), 0);
        QCOMPARE(progress.value(), 0.0);
        progress.setValue(-3);
        QCOMPARE(progress.storedPosition(), 0);
        // Above the maximum, and not finite: refused, nothing changes.
        progress.setValue(1000);
        progress.setValue(qInf());
        progress.setValue(qQNaN());
        QCOMPARE(progress.storedPosition(), 0);
    }

    void automaticModeWalksFromTheStoredPosition()
    {
        QGraphicsWidget page;
        ZAVTestSliderObject progress(QString(), QStringLiteral("Progress (in %)"), nullptr);
        progress.setMaximum(201);
        progress.createLayout(&page);
        progress.setAutoButtonVisible(true);
        // A drag moves the widget, not the stored position: the walk goes on from 3.
        dragSlider(progress, 150);
        QList<int> positions;
        connect(&progress, &ZAVTestSliderObject::valueChanged, this,
                [&] { positions.append(progress.storedPosition()); });
        QSignalSpy clicked(&progress, &ZAVTestSliderObject::autoButtonClicked);
        progress.autoButton()->click();
        QCOMPARE(clicked.at(0).at(0).toBool(), true);
        QVERIFY(progress.isAutoRunning());
        QTRY_VERIFY_WITH_TIMEOUT(positions.size() >= 43, 10000);
        progress.autoButton()->click();
        QVERIFY(!progress.isAutoRunning());
        QList<int> expected;
        for (int p = 13; p <= 203; p += 10)
            expected << p;
        for (int p = 10; p <= 210; p += 10)
            expected << p;
        expected << 10 << 20;
        QCOMPARE(positions.mid(0, expected.size()), expected);
    }

    void oneTimerForLife()
    {
        QGraphicsWidget page;
        ZAVTestSliderObject progress(QString(), QString(), nullptr);
        progress.createLayout(&page);
        progress.setAutoButtonVisible(true);
        for (int i = 0; i < 3; ++i) {
            progress.autoButton()->click();
            progress.autoButton()->click();
        }
        progress.autoButton()->click();
        QCOMPARE(progress.findChildren<QTimer *>().size(), 1);
        QVERIFY(progress.isAutoRunning());
        progress.setAutoButtonChecked(false);
        QVERIFY(!progress.isAutoRunning());
    }

    void checkedByTheProgramRunsNoTimer()
    {
        QGraphicsWidget page;
        ZAVTestSliderObject progress(QString(), QString(), nullptr);
        progress.createLayout(&page);
        progress.setAutoButtonVisible(true);
        QSignalSpy clicked(&progress, &ZAVTestSliderObject::autoButtonClicked);
        progress.setAutoButtonChecked(true);
        QVERIFY(progress.autoButton()->isChecked());
        QVERIFY(!progress.isAutoRunning());
        QCOMPARE(clicked.size(), 0);
        progress.autoButton()->click();
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).toBool(), false);
        QVERIFY(!progress.isAutoRunning());
    }
};

QTEST_MAIN(tst_UiElements)
#include "tst_uielements.moc"
