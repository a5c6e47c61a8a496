// SPDX-License-Identifier: MIT
#include "ZAVTestAppUiElements.h"

#include "ZAVTestVocabulary.h"

#include <MButton.h>
#include <MComboBox.h>
#include <MLabel.h>
#include <MSlider.h>

#include <QDebug>
#include <QGraphicsLinearLayout>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QTimer>

#include <cmath>
#include <limits>

// ---- ZAVTestListObject ----

ZAVTestListObject::ZAVTestListObject(const QString &title, QObject *parent)
    : QObject(parent)
    , layout(nullptr)
    , caption(title)
    , storedIndex(0)
{
}

ZAVTestListObject::~ZAVTestListObject()
{
    // When the page's widgets went first, the layout went with the page's layout tree.
    if (combo) {
        delete combo;
        delete layout;
    }
}

QGraphicsLinearLayout *ZAVTestListObject::createLayout(QGraphicsWidget *)
{
    if (layout)
        return layout;
    layout = new QGraphicsLinearLayout(Qt::Horizontal);
    combo = new MComboBox;
    combo->setTitle(caption);
    combo->setItemModel(new QStringListModel(QStringList(optionList()), this));
    combo->setCurrentIndex(storedIndex);
    combo->setIconVisible(false);
    // Connected after the starting index is set: building emits no optionChanged.
    connect(combo, &MComboBox::currentIndexChanged, this, &ZAVTestListObject::currentIndexChanged);
    connect(combo, &MComboBox::reselected, this, &ZAVTestListObject::currentIndexChanged);
    layout->addItem(combo);
    return layout;
}

void ZAVTestListObject::currentIndexChanged(int index)
{
    QStringList &options = optionList();
    if (index < 0 || index >= options.size())
        return;
    qDebug() << "Option Changed" << options[index];
    emit optionChanged(options[index]);
}

QString ZAVTestListObject::currentOption()
{
    const QStringList &options = optionList();
    if (layout && combo) {
        const int index = combo->currentIndex();
        if (index >= 0 && index < options.size())
            return options.at(index);
    }
    if (storedIndex < options.size())
        return options.at(storedIndex);
    return options.value(0);
}

bool ZAVTestListObject::setCurrentOption(const QString &option)
{
    const int index = optionList().indexOf(option);
    if (index < 0) {
        storedIndex = 0;
        return false;
    }
    storedIndex = index;
    if (combo)
        combo->setCurrentIndex(index);
    return true;
}

void ZAVTestListObject::showNoOption()
{
    if (combo) {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(-1);
    }
}

// ---- Catalogues ----

ZAVTestTransferNameObject::ZAVTestTransferNameObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Transfer Name"), parent)
{
    options.clear();
    options << QStringLiteral("Big Transfer Title Big Transfer Title of Transfer 1");
    for (int i = 2; i <= 9; ++i)
        options << QStringLiteral("Transfer %1").arg(i);
}

ZAVTestTransferMsgObject::ZAVTestTransferMsgObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Transfer Message"), parent)
{
    options.clear();
    options << QStringLiteral("Processing files before transfer");
    for (int i = 2; i <= 10; ++i)
        options << QStringLiteral("Transfer Message %1").arg(i);
    options << QString(""); // the empty message
}

ZAVTestTransferTypeObject::ZAVTestTransferTypeObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Transfer Type"), parent)
{
    options.clear();
    options << QStringLiteral("Download") << QStringLiteral("Sync") << QStringLiteral("Web upload")
            << QStringLiteral("Email upload") << QStringLiteral("Bluetooth upload");
}

ZAVTestTransferStatusObject::ZAVTestTransferStatusObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Transfer Status"), parent)
{
    options.clear();
    options = ZAVTestVocabulary::statusWords();
}

ZAVTestTransferServiceObject::ZAVTestTransferServiceObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Service"), parent)
{
    options.clear();
    options << QStringLiteral("facebook") << QStringLiteral("vyx") << QStringLiteral("flickr")
            << QStringLiteral("youtube");
}

ZAVTestIconObject::ZAVTestIconObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Icon"), parent)
{
    options.clear();
    options << QStringLiteral("pdf") << QStringLiteral("word") << QStringLiteral("powerpoint")
            << QStringLiteral("image") << QStringLiteral("excel") << QStringLiteral("video") << QStringLiteral("album")
            << QStringLiteral("unknown");
}

ZAVTestThumbnailObject::ZAVTestThumbnailObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Thumbnail"), parent)
{
    options.clear();
    options << QStringLiteral("flower") << QStringLiteral("sunflower") << QStringLiteral("sky")
            << QStringLiteral("chess");
}

ZAVTestTransferCancelObject::ZAVTestTransferCancelObject(QObject *parent)
    : ZAVTestListObject(QStringLiteral("Cancel Text"), parent)
{
    options.clear();
    for (int i = 1; i <= 9; ++i)
        options << QStringLiteral("Cancel %1").arg(i);
}

// ---- ZAVTestSliderObject ----

ZAVTestSliderObject::ZAVTestSliderObject(const QString &unit, const QString &title, QObject *parent)
    : QObject(parent)
    , layout(nullptr)
    , unit(unit)
    , title(title)
    , timer(nullptr)
    , minimum(0)
    , maximum(1000)
    , position(3)
    , stepsPerDecade(100)
{
}

ZAVTestSliderObject::~ZAVTestSliderObject()
{
    // When the page's widgets went first, the layout went with the page's layout tree.
    if (sliderWidget) {
        delete titleLabel;
        delete sliderWidget;
        delete autoButtonWidget;
        delete layout;
    }
}

double ZAVTestSliderObject::valueAt(int position, unsigned int stepsPerDecade)
{
    if (position == 0)
        return 0;
    return std::ceil(std::pow(10.0, double(position - 1) / double(stepsPerDecade)));
}

double ZAVTestSliderObject::value()
{
    const int current = sliderWidget ? sliderWidget->value() : position;
    if (current == 0)
        return 0;
    const double result = valueAt(current, stepsPerDecade);
    qDebug() << "For slider value" << current << ", actual value is" << result;
    return result;
}

int ZAVTestSliderObject::positionOf(double value) const
{
    // Zero and below sit at the bottom of the scale (refused only where the range lacks 0).
    if (value <= 0)
        return 0;
    if (std::isfinite(value)) {
        const double at = std::log10(value) * double(stepsPerDecade) + 1.0;
        if (std::isfinite(at) && at > double(std::numeric_limits<int>::min())
            && at < double(std::numeric_limits<int>::max()))
            return int(at);
    }
    return std::numeric_limits<int>::min();
}

void ZAVTestSliderObject::setValue(double value)
{
    const int target = positionOf(value);
    qDebug() << "Reversing from value to sliderValue : value =" << value << ", sliderValue =" << target;
    if (setSliderValue(target))
        exact = std::max(0.0, value);
}

void ZAVTestSliderObject::takeValue(double value)
{
    const int target = positionOf(value);
    if (!(value >= 0) || target < minimum || target > maximum || value > valueAt(maximum, stepsPerDecade))
        return;
    position = target;
    if (sliderWidget) {
        const QSignalBlocker quiet(sliderWidget);
        sliderWidget->setValue(target);
    }
    exact = value;
    showNumber(QString::number(value, 'g', 6));
    emit valueChanged(value);
}

bool ZAVTestSliderObject::setSliderValue(int sliderValue)
{
    qDebug() << "ZAVTestSliderObject::setSliderValue" << minimum << maximum << sliderValue;
    if (sliderValue < minimum || sliderValue > maximum)
        return false;
    position = sliderValue;
    if (sliderWidget) {
        {
            const QSignalBlocker quiet(sliderWidget);
            sliderWidget->setValue(sliderValue);
        }
        sliderMoved(sliderValue);
    }
    return true;
}

bool ZAVTestSliderObject::setMinimum(int value)
{
    if (value > maximum)
        return false;
    minimum = value;
    return true;
}

bool ZAVTestSliderObject::setMaximum(int value)
{
    if (value < minimum)
        return false;
    maximum = value;
    return true;
}

bool ZAVTestSliderObject::setStepsPerDecade(unsigned int steps)
{
    if (steps < 10)
        return false;
    stepsPerDecade = steps;
    return true;
}

void ZAVTestSliderObject::showNumber(const QString &number)
{
    shownLabel = number + QLatin1Char(' ') + unit;
    if (sliderWidget)
        sliderWidget->setHandleLabel(shownLabel);
}

void ZAVTestSliderObject::showValue(double value, const QString &text)
{
    const double top = valueAt(maximum, stepsPerDecade);
    setValue(std::isfinite(value) && value < top ? value : (std::isnan(value) ? 0.0 : top));
    shownLabel = text;
    if (sliderWidget)
        sliderWidget->setHandleLabel(text);
}

void ZAVTestSliderObject::sliderMoved(int)
{
    const double current = value();
    exact = current;
    showNumber(QString::number(current, 'g', 6));
    emit valueChanged(current);
}

QGraphicsLinearLayout *ZAVTestSliderObject::createLayout(QGraphicsWidget *parent)
{
    if (layout)
        return layout;
    layout = new QGraphicsLinearLayout(Qt::Horizontal);
    layout->setSpacing(20);

    sliderWidget = new MSlider(parent);
    sliderWidget->setMaximumHeight(70);
    // Grows with the page: a wider window gives finer steps under the mouse.
    sliderWidget->setMinimumWidth(350);
    sliderWidget->setObjectName(QStringLiteral("ElementTransferSlider"));
    sliderWidget->setRange(minimum, maximum);
    connect(sliderWidget, &MSlider::valueChanged, this, &ZAVTestSliderObject::sliderMoved);
    sliderWidget->setShownScale([this] { return exact; }, [this](double value) { takeValue(value); }, 0,
                                valueAt(maximum, stepsPerDecade));
    // One report of the starting value, not one for the move and one for the label; a number
    // given to show before keeps its place on the label.
    const QString given = shownLabel;
    {
        const QSignalBlocker quiet(sliderWidget);
        sliderWidget->setValue(position);
    }
    sliderMoved(position);
    if (!given.isEmpty()) {
        shownLabel = given;
        sliderWidget->setHandleLabel(given);
    }

    autoButtonWidget = new MButton(QStringLiteral("Auto"), parent, nullptr);
    autoButtonWidget->setObjectName(QStringLiteral("ToggleButton"));
    autoButtonWidget->setCheckable(true);
    autoButtonWidget->hide();
    connect(autoButtonWidget, &MButton::clicked, this, &ZAVTestSliderObject::autoButtonSelected);

    if (!title.isEmpty()) {
        titleLabel = new MLabel(title);
        titleLabel->setMinimumWidth(150);
        titleLabel->setMaximumWidth(150);
        titleLabel->setObjectName(QStringLiteral("PopupListHeader"));
        titleLabel->setBuddy(sliderWidget);
        layout->addItem(titleLabel);
    }
    layout->addItem(sliderWidget);
    layout->addItem(autoButtonWidget);
    return layout;
}

void ZAVTestSliderObject::setAutoButtonVisible(bool visible)
{
    if (autoButtonWidget)
        autoButtonWidget->setVisible(visible);
}

void ZAVTestSliderObject::setAutoButtonChecked(bool checked)
{
    qDebug() << "ZAVTestSliderObject::setAutoButtonChecked" << checked;
    if (autoButtonWidget)
        autoButtonWidget->setChecked(checked);
    if (!checked && timer)
        timer->stop();
}

bool ZAVTestSliderObject::isAutoRunning() const
{
    return timer && timer->isActive();
}

void ZAVTestSliderObject::autoButtonSelected()
{
    const bool checked = autoButtonWidget->isChecked();
    emit autoButtonClicked(checked);
    setAutoRunning(checked);
}

void ZAVTestSliderObject::setAutoRunning(bool running)
{
    if (autoButtonWidget)
        autoButtonWidget->setChecked(running);
    if (running) {
        // One timer for the control's life; switching on again restarts it.
        if (!timer) {
            timer = new QTimer(this);
            // Precise: a coarse timer may stretch each 20 ms step by a millisecond or so, and
            // the service is meant to see one step per 20 ms.
            timer->setTimerType(Qt::PreciseTimer);
            timer->setInterval(20);
            connect(timer, &QTimer::timeout, this, &ZAVTestSliderObject::autoProgressUpdate);
        }
        timer->start();
    } else if (timer) {
        timer->stop();
    }
}

void ZAVTestSliderObject::autoProgressUpdate()
{
    if (position >= maximum)
        position = minimum;
    position += 10;
    if (!sliderWidget)
        return;
    const int before = sliderWidget->value();
    sliderWidget->setValue(position);
    // A widget already at that position reports nothing; the step is reported all the same.
    if (sliderWidget->value() == before)
        sliderMoved(position);
}
