// SPDX-License-Identifier: MIT
#ifndef ZAVTESTAPPUIELEMENTS_H
#define ZAVTESTAPPUIELEMENTS_H

#include <MButton.h>
#include <MComboBox.h>
#include <MLabel.h>
#include <MSlider.h>

#include <QObject>
#include <QPointer>
#include <QStringList>

class QGraphicsLinearLayout;
class QGraphicsWidget;
class QTimer;

// A control for picking one text out of a fixed catalogue. Not a widget: it builds a combo box
// on the first createLayout() and hands the page a horizontal layout to insert.
class ZAVTestListObject : public QObject
{
    Q_OBJECT
public:
    ZAVTestListObject(const QString &title, QObject *parent);
    ~ZAVTestListObject() override;

    // Builds the combo box on the first call; returns the same layout on every call.
    QGraphicsLinearLayout *createLayout(QGraphicsWidget *parent);
    // The selected entry: the combo box's once built, otherwise the one chosen by the program.
    QString currentOption();
    // Selects the first entry equal to `option`; false (and the first entry stored) if none is.
    bool setCurrentOption(const QString &option);
    // Shows no entry selected (what the program holds is none of the list's), reporting nothing.
    void showNoOption();
    // The catalogue, in list order.
    virtual QStringList &optionList() = 0;

    // Null until the layout is built.
    MComboBox *comboBox() const { return combo; }

Q_SIGNALS:
    // The user (or the program, once built) picked an entry; `option` is the catalogue's own.
    // Picking the entry already selected reports it again: it may be meant to be sent again.
    void optionChanged(QString &option);

private Q_SLOTS:
    void currentIndexChanged(int index);

private:
    QGraphicsLinearLayout *layout;
    QString caption;
    // Guarded: the page's teardown may have deleted it already.
    QPointer<MComboBox> combo;
    int storedIndex;
};

// The catalogues: each contributes its caption and entries, nothing else.
class ZAVTestTransferNameObject : public ZAVTestListObject
{
public:
    explicit ZAVTestTransferNameObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestTransferMsgObject : public ZAVTestListObject
{
public:
    explicit ZAVTestTransferMsgObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestTransferTypeObject : public ZAVTestListObject
{
public:
    explicit ZAVTestTransferTypeObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestTransferStatusObject : public ZAVTestListObject
{
public:
    explicit ZAVTestTransferStatusObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestTransferServiceObject : public ZAVTestListObject
{
public:
    explicit ZAVTestTransferServiceObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestIconObject : public ZAVTestListObject
{
public:
    explicit ZAVTestIconObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestThumbnailObject : public ZAVTestListObject
{
public:
    explicit ZAVTestThumbnailObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

class ZAVTestTransferCancelObject : public ZAVTestListObject
{
public:
    explicit ZAVTestTransferCancelObject(QObject *parent);
    QStringList &optionList() override { return options; }

private:
    QStringList options;
};

// A control for picking a number over many orders of magnitude: slider positions map onto a
// logarithmic scale (value = ceil(10 ^ ((position - 1) / steps per decade)), 0 at position 0).
// An optional "Auto" toggle walks the slider upwards every 20 ms and starts again at the bottom.
class ZAVTestSliderObject : public QObject
{
    Q_OBJECT
public:
    ZAVTestSliderObject(const QString &unit, const QString &title, QObject *parent);
    ~ZAVTestSliderObject() override;

    // Builds the title label, slider and Auto button on the first call; same layout afterwards.
    QGraphicsLinearLayout *createLayout(QGraphicsWidget *parent);
    // The value of the current position.
    double value();
    // Moves to the position of `value` (truncated); 0 and below move to position 0.
    void setValue(double value);
    // Shows `number` with the unit on the handle label, in place of the position's value (also
    // once the slider is built), until the slider moves.
    void showNumber(const QString &number);
    // Moves as near `value` as the scale goes (its top for a larger value) and shows `text` on
    // the handle label as it is, with no unit added.
    void showValue(double value, const QString &text);
    // Moves to a position; false, and nothing changes, outside minimum..maximum.
    bool setSliderValue(int sliderValue);
    // Takes `value` as set exactly (by assistive technology, where a position would round it):
    // the slider moves to its position, shows it and reports it once. Refused, with nothing
    // changed, outside the scale.
    void takeValue(double value);
    // The value shown: the last one set or taken, or the position's.
    double shownValue() const { return exact; }
    bool setMinimum(int minimum);
    bool setMaximum(int maximum);
    bool setStepsPerDecade(unsigned int steps);
    void setAutoButtonVisible(bool visible);
    // Shows the Auto state; never starts the automatic mode, but false stops it.
    void setAutoButtonChecked(bool checked);
    // Starts or stops the automatic mode and shows it, without reporting a click.
    void setAutoRunning(bool running);

    // The position last set by the program or the automatic mode.
    int storedPosition() const { return position; }
    bool isAutoRunning() const;
    MSlider *slider() const { return sliderWidget; }
    MButton *autoButton() const { return autoButtonWidget; }

    // The scale, without a control.
    static double valueAt(int position, unsigned int stepsPerDecade);

private:
    // The position of `value`, truncated: 0 for 0 and below; INT_MIN where none is.
    int positionOf(double value) const;

public:
Q_SIGNALS:
    void valueChanged(double value);
    void autoButtonClicked(bool value);

private Q_SLOTS:
    void sliderMoved(int);
    void autoButtonSelected();
    void autoProgressUpdate();

private:
    QGraphicsLinearLayout *layout;
    QString unit;
    QString title;
    QPointer<MLabel> titleLabel;
    QPointer<MSlider> sliderWidget;
    QPointer<MButton> autoButtonWidget;
    QTimer *timer;
    int minimum;
    int maximum;
    int position;
    unsigned int stepsPerDecade;
    QString shownLabel; // on the handle label
    double exact = 0; // the value shown
};

#endif
