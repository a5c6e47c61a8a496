// SPDX-License-Identifier: MIT
#include "ZAVTestElementDetail.h"

#include "ZAVTestElement.h"
#include "ZAVTestNumbers.h"
#include "ZAVTestVocabulary.h"

#include <MButton.h>
#include <MLabel.h>
#include <MTextEdit.h>

#include <QDebug>
#include <QGraphicsLinearLayout>

namespace {
// Marks the page as loading for as long as it lives.
class LoadingScope
{
public:
    explicit LoadingScope(bool &flag)
        : m_flag(flag)
        , m_before(flag)
    {
        m_flag = true;
    }
    ~LoadingScope() { m_flag = m_before; }

private:
    bool &m_flag;
    bool m_before;
};
} // namespace

ZAVTestElementDetail::ZAVTestElementDetail()
    : MApplicationPage(nullptr)
    , transferName(this)
    , transferMsg(this)
    , transferSize(QStringLiteral("bytes"), QStringLiteral("Size"), this)
    , transferEstimate(QStringLiteral("seconds"), QStringLiteral("Estimate"), this)
    , transferStatus(this)
    , transferProgress(QString(), QStringLiteral("Progress (in %)"), this)
    , transferSpeed(QString(), QStringLiteral("CurrentIndex"), this)
    , transferIcon(this)
    , transferThumbnail(this)
    , transferCancel(this)
    , buttonCanPause(nullptr)
{
    setTitle(QStringLiteral("Transfer Detail"));
    transferSize.setMaximum(1000);
    transferSize.setStepsPerDecade(100);
    transferEstimate.setMaximum(310);
    transferEstimate.setStepsPerDecade(60);
    transferProgress.setMaximum(201);
    transferProgress.setStepsPerDecade(100);
    transferSpeed.setMaximum(201);
    transferSpeed.setStepsPerDecade(100);
}

ZAVTestElementDetail::~ZAVTestElementDetail() = default;

void ZAVTestElementDetail::setTransferId(const QString &id)
{
    transferId_ = id;
    if (labelId)
        labelId->setText(ZAVTestElement::idBadge(id));
}

void ZAVTestElementDetail::createContent()
{
    const LoadingScope scope(loading);
    QGraphicsWidget *central = centralWidget();
    auto *mainLayout = new QGraphicsLinearLayout(Qt::Vertical);
    auto *row = new QGraphicsLinearLayout(Qt::Horizontal);

    buttonCanPause = new MButton(QStringLiteral("Can Pause"), central);
    buttonCanPause->setObjectName(QStringLiteral("ToggleButton"));
    buttonCanPause->setCheckable(true);
    // A flag handed over before the page was first shown applies now.
    buttonCanPause->setChecked(canPauseWanted);
    buttonCommit = new MButton(QStringLiteral("Start Commit"), central);
    buttonCommit->setCheckable(true);
    connect(buttonCanPause, &MButton::clicked, this, &ZAVTestElementDetail::buttonCanPauseClicked);
    connect(buttonCommit, &MButton::clicked, this, &ZAVTestElementDetail::buttonCommitClicked);

    labelId = new MLabel(ZAVTestElement::idBadge(transferId_), central);
    labelId->setObjectName(QStringLiteral("TransferIdBadge"));
    mainLayout->addItem(labelId);
    mainLayout->addItem(transferName.createLayout(central));
    mainLayout->addItem(transferMsg.createLayout(central));
    row->addItem(transferStatus.createLayout(central));
    row->addItem(buttonCanPause);
    mainLayout->addItem(row);
    mainLayout->addItem(transferSize.createLayout(central));
    mainLayout->addItem(transferEstimate.createLayout(central));
    mainLayout->addItem(transferProgress.createLayout(central));
    transferProgress.setAutoButtonVisible(true);
    mainLayout->addItem(transferSpeed.createLayout(central));
    mainLayout->addItem(transferIcon.createLayout(central));
    mainLayout->addItem(transferThumbnail.createLayout(central));
    mainLayout->addItem(transferCancel.createLayout(central));

    textSize = new MTextEdit(MTextEditModel::SingleLine, QStringLiteral("Size value"), central);
    textProgress = new MTextEdit(MTextEditModel::SingleLine, QStringLiteral("Progress value"), central);
    textTitle = new MTextEdit(MTextEditModel::SingleLine, QStringLiteral("Transfer Title"), central);
    textResult = new MTextEdit(MTextEditModel::SingleLine, QStringLiteral("Done Result"), central);
    connect(textSize, &MTextEdit::returnPressed, this, &ZAVTestElementDetail::sizeEntered);
    connect(textProgress, &MTextEdit::returnPressed, this, &ZAVTestElementDetail::progressEntered);
    connect(textTitle, &MTextEdit::returnPressed, this, &ZAVTestElementDetail::titleChanged);
    connect(textResult, &MTextEdit::returnPressed, this, &ZAVTestElementDetail::doneWithResult);
    for (MTextEdit *field : {textSize, textProgress, textTitle, textResult}) {
        field->setMaximumWidth(500);
        mainLayout->addItem(field);
    }
    mainLayout->addItem(buttonCommit);

    buttonClose = new MButton(QStringLiteral("Close"), central);
    buttonClose->setObjectName(QStringLiteral("PushButton"));
    mainLayout->addItem(buttonClose);
    connect(buttonClose, &MButton::clicked, this, &ZAVTestElementDetail::buttonCloseClicked);

    central->setLayout(mainLayout);
}

void ZAVTestElementDetail::init(const QString &name, const QString &msg, double size, double estimate,
                                const QString &status, double progress, double speed)
{
    const LoadingScope scope(loading);
    transferName.setCurrentOption(name);
    transferMsg.setCurrentOption(msg);
    transferStatus.setCurrentOption(status);
    qDebug() << "ZAVTestElementDetail::init" << name << msg << estimate << status << progress;
    // The handles go to the nearest step of their scales; the labels show the values as they are
    // (before, 45,708,800 bytes read "4.46684e+07" and a progress of 0.333 "34").
    transferSize.setValue(size);
    transferSize.showNumber(QString::number(ZAVTestNumbers::toByteCount(size)));
    transferEstimate.setValue(estimate);
    transferEstimate.showNumber(QString::number(estimate, 'f', 0));
    transferProgress.setValue(progress * 100);
    transferProgress.showNumber(QString::number(progress * 100, 'g', 6));
    transferSpeed.setValue(speed);
    transferSpeed.showNumber(QString::number(speed, 'f', 0));
    transferProgress.setAutoButtonChecked(false);
    if (!controlsConnected) {
        controlsConnected = true;
        connectControls();
    }
}

void ZAVTestElementDetail::connectControls()
{
    connect(&transferName, &ZAVTestListObject::optionChanged, this, &ZAVTestElementDetail::nameChanged);
    connect(&transferMsg, &ZAVTestListObject::optionChanged, this, &ZAVTestElementDetail::msgChanged);
    connect(&transferEstimate, &ZAVTestSliderObject::valueChanged, this, &ZAVTestElementDetail::estimateChanged);
    connect(&transferSize, &ZAVTestSliderObject::valueChanged, this, &ZAVTestElementDetail::sizeChanged);
    connect(&transferStatus, &ZAVTestListObject::optionChanged, this, &ZAVTestElementDetail::statusChanged);
    connect(&transferSpeed, &ZAVTestSliderObject::valueChanged, this, &ZAVTestElementDetail::speedChanged);
    connect(&transferProgress, &ZAVTestSliderObject::valueChanged, this, &ZAVTestElementDetail::progressChanged);
    connect(&transferProgress, &ZAVTestSliderObject::autoButtonClicked, this, &ZAVTestElementDetail::buttonAutoClicked);
    connect(&transferIcon, &ZAVTestListObject::optionChanged, this, &ZAVTestElementDetail::iconChanged);
    connect(&transferThumbnail, &ZAVTestListObject::optionChanged, this, &ZAVTestElementDetail::thumbnailChanged);
    connect(&transferCancel, &ZAVTestListObject::optionChanged, this, &ZAVTestElementDetail::cancelButtonTextChanged);
}

void ZAVTestElementDetail::setAutoProgressChecked(bool checked)
{
    transferProgress.setAutoButtonChecked(checked);
}

void ZAVTestElementDetail::setCanPauseChecked(bool checked)
{
    canPauseWanted = checked;
    if (buttonCanPause)
        buttonCanPause->setChecked(checked);
}

void ZAVTestElementDetail::sizeChanged(double size)
{
    if (loading)
        return;
    const quint64 bytes = ZAVTestNumbers::toByteCount(size);
    qDebug() << "ZAVTestElementDetail::sizeChanged(" << bytes << ") : " << transferId_;
    emit transferSetSizeSignal(transferId_, bytes);
}

void ZAVTestElementDetail::speedChanged(double value)
{
    if (loading)
        return;
    const int speed = ZAVTestNumbers::toInt32(value);
    qDebug() << "ZAVTestElementDetail::speedChanged(" << ZAVTestNumbers::toByteCount(value) << ") : " << transferId_;
    emit transferSpeedSignal(transferId_, speed);
}

void ZAVTestElementDetail::estimateChanged(double est)
{
    if (loading)
        return;
    const int seconds = ZAVTestNumbers::toInt32(est);
    qDebug() << "ZAVTestElementDetail::estimateChanged(" << ZAVTestNumbers::toByteCount(est) << ") : " << transferId_;
    emit transferEstimateSignal(transferId_, seconds);
}

void ZAVTestElementDetail::progressChanged(double value)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::progressChanged(" << value << ") :" << transferId_;
    emit transferProgressSignal(transferId_, ZAVTestNumbers::percentToFraction(value));
}

void ZAVTestElementDetail::msgChanged(QString &msg)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::msgChanged(" << msg << ") : " << transferId_;
    emit transferMessageSignal(transferId_, msg);
}

void ZAVTestElementDetail::nameChanged(QString &name)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::nameChanged(" << name << "):" << transferId_;
    emit transferNameSignal(transferId_, name);
}

void ZAVTestElementDetail::buttonCanPauseClicked()
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::buttonCanPauseClicked()" << transferId_;
    emit transferCanPauseSignal(transferId_, buttonCanPause->isChecked());
}

void ZAVTestElementDetail::iconChanged(QString &icon)
{
    if (loading)
        return;
    qDebug() << "icon changed" << icon;
    emit transferIconSignal(transferId_, icon);
}

void ZAVTestElementDetail::thumbnailChanged(QString &thumbnail)
{
    if (loading)
        return;
    qDebug() << "thumbnail changed" << thumbnail;
    emit transferThumbnailSignal(transferId_, thumbnail);
}

void ZAVTestElementDetail::cancelButtonTextChanged(QString &text)
{
    if (loading)
        return;
    emit transferCancelText(transferId_, text);
}

void ZAVTestElementDetail::buttonAutoClicked(bool value)
{
    emit transferAuto(transferId_, value);
}

void ZAVTestElementDetail::titleChanged()
{
    emit transferTitleChanged(transferId_, textTitle->text());
}

void ZAVTestElementDetail::doneWithResult()
{
    emit transferDoneSignal(transferId_, textResult->text());
}

void ZAVTestElementDetail::sizeEntered()
{
    const double size = ZAVTestNumbers::parseDecimal(textSize->text());
    showEntered(transferSize, size, QString::number(ZAVTestNumbers::toByteCount(size)));
    sizeChanged(size);
}

void ZAVTestElementDetail::progressEntered()
{
    const double percent = ZAVTestNumbers::parseDecimal(textProgress->text());
    showEntered(transferProgress, percent, QString::number(percent, 'g', 6));
    progressChanged(percent);
}

void ZAVTestElementDetail::showEntered(ZAVTestSliderObject &slider, double value, const QString &sent)
{
    // The slider follows what was typed, so the page shows what is sent (0 for text that is
    // no number); its number is the one sent, not the nearest step of the scale.
    {
        const LoadingScope scope(loading);
        slider.setValue(value);
    }
    slider.showNumber(sent);
}

void ZAVTestElementDetail::statusChanged(QString &status)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::statusChanged(" << status << ") : " << transferId_;
    using ZAVTestVocabulary::State;
    switch (ZAVTestVocabulary::stateFrom(status).value_or(State::NoMessageInactive)) {
    case State::Active:
        emit transferSetActiveSignal(transferId_, ZAVTestNumbers::percentToFraction(transferProgress.value()));
        break;
    case State::Inactive:
        emit transferPendingSignal(transferId_, transferMsg.currentOption());
        break;
    case State::Done:
        emit transferDoneSignal(transferId_);
        emit backButtonClicked();
        break;
    case State::Error:
        emit transferFailedSignal(transferId_, 0);
        break;
    case State::Error1Recovery:
        emit transferFailedSignal(transferId_, 1);
        break;
    case State::Error2Recovery:
        emit transferFailedSignal(transferId_, 2);
        break;
    case State::NoMessageInactive:
        qDebug() << status << " not handled currently";
        break;
    }
}

void ZAVTestElementDetail::buttonCommitClicked()
{
    const bool checked = buttonCommit->isChecked();
    buttonCommit->setText(checked ? QStringLiteral("End Commit") : QStringLiteral("Start Commit"));
    emit commitChanged(transferId_, checked);
}

void ZAVTestElementDetail::buttonCloseClicked()
{
    emit backButtonClicked();
    disappear();
}
