// SPDX-License-Identifier: MIT
#include "AppDriver.h"
#include "ZAVTestAppUiElements.h"

#include <MButton.h>
#include <MSlider.h>

#include <QGraphicsWidget>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

class tst_UiElements : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        progress.setValue(50);
        QCOMPARE(progress.slider()->handleLabel(), QStringLiteral("49 "));
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
        QCOMPARE(progress.findChild<QTimer *>()->interval(), 20); // a step every 20 ms
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
};

QTEST_MAIN(tst_UiElements)
#include "tst_uielements.moc"
