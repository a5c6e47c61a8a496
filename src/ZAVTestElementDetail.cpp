// SPDX-License-Identifier: MIT
#include "ZAVTestElementDetail.h"

#include "ZAVTestElement.h"
#include "ZAVTestNumbers.h"
#include "ZAVTestVocabulary.h"
#include "ZavContract.h"
#include "ZavVocabulary.h"

#include <MButton.h>
#include <MLabel.h>
#include <MTextEdit.h>

#include <QDebug>
#include <QGraphicsLinearLayout>
#include <QLineEdit>

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
    shownId = id;
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

    labelId = new MLabel(ZAVTestElement::idBadge(shownId), central);
    labelId->setObjectName(QStringLiteral("TransferIdBadge"));
    labelState = new MLabel(QString(), central);
    labelState->setObjectName(QStringLiteral("HintLine"));
    auto *top = new QGraphicsLinearLayout(Qt::Horizontal);
    top->addItem(labelId);
    top->addItem(labelState);
    top->setStretchFactor(labelState, 1);
    mainLayout->addItem(top);
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
    // Always in its place (an item taken out and put back would move the fields), empty but
    // for a refusal.
    labelNotice = new MLabel(QString(), central);
    labelNotice->setObjectName(QStringLiteral("NoticeLine"));
    // A refusal is read whole: the service's reason comes last.
    labelNotice->setWordWrap(true);
    mainLayout->addItem(labelNotice);
    // Each field is filled with the transfer's value when it opens; a caption beside it says
    // what it holds, and its starting text stays as the text shown while it is empty.
    for (auto [field, caption] : {std::pair {textSize, QStringLiteral("Size (bytes)")},
                                  {textProgress, QStringLiteral("Progress (in %)")},
                                  {textTitle, QStringLiteral("Title")},
                                  {textResult, QStringLiteral("Done with result")}}) {
        if (auto *line = qobject_cast<QLineEdit *>(field->editWidget()))
            line->setPlaceholderText(line->text());
        auto *label = new MLabel(caption, central);
        label->setObjectName(QStringLiteral("PopupListHeader"));
        label->setMinimumWidth(150);
        label->setMaximumWidth(150);
        label->setBuddy(field);
        auto *fieldRow = new QGraphicsLinearLayout(Qt::Horizontal);
        fieldRow->setSpacing(20);
        fieldRow->addItem(label);
        field->setMaximumWidth(500);
        fieldRow->addItem(field);
        mainLayout->addItem(fieldRow);
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
    qDebug() << "ZAVTestElementDetail::init" << name << msg << estimate << status << progress;
    showValues(name, msg, ZAVTestNumbers::toByteCount(size), estimate, status, progress, speed);
    transferProgress.setAutoButtonChecked(false);
    if (!controlsConnected) {
        controlsConnected = true;
        connectControls();
    }
}

void ZAVTestElementDetail::showValues(const QString &name, const QString &msg, quint64 size, double estimate,
                                      const QString &status, double progress, double speed)
{
    transferName.setCurrentOption(name);
    transferMsg.setCurrentOption(msg);
    transferStatus.setCurrentOption(status);
    // The handles go to the nearest step of their scales; the labels show the values as they are
    // (before, 45,708,800 bytes read "4.46684e+07" and a progress of 0.333 "34").
    showSize(size);
    transferEstimate.showValue(estimate, QString::number(estimate, 'f', 0) + QStringLiteral(" seconds"));
    transferProgress.setValue(progress * 100);
    transferProgress.showNumber(QString::number(progress * 100, 'g', 6));
    transferSpeed.showValue(speed, QString::number(speed, 'f', 0) + QLatin1Char(' '));
}

void ZAVTestElementDetail::load(const ZAVTestTransferValues &v)
{
    prepareToAppear();
    init(v.name, v.message, double(v.size), double(v.estimate), v.statusEntry(), v.progress, double(v.speed));
    setAutoProgressChecked(v.autoProgress);
    labelNotice->setText(QString());
    refresh(v);
}

void ZAVTestElementDetail::refresh(const ZAVTestTransferValues &v)
{
    if (!controlsConnected)
        return; // never loaded: load() shows it all
    {
        const LoadingScope scope(loading);
        // The status list, as every control that follows the record, is shown by showState().
        showValues(v.name, v.message, v.size, double(v.estimate), v.statusEntry(), v.progress, double(v.speed));
        for (auto [list, option] : {std::pair<ZAVTestListObject *, QString> {&transferIcon, v.icon},
                                    {&transferThumbnail, v.thumbnail},
                                    {&transferCancel, v.cancelText}}) {
            if (option.isEmpty() || !list->setCurrentOption(option))
                list->showNoOption();
        }
        setCanPauseChecked(v.canPause);
        textSize->setText(QString::number(v.size));
        textProgress->setText(percentText(v.progress));
        textTitle->setText(v.title);
        textResult->setText(v.result);
        buttonCommit->setChecked(v.inCommit);
        buttonCommit->setText(v.inCommit ? QStringLiteral("End Commit") : QStringLiteral("Start Commit"));
    }
    showState(v);
}

void ZAVTestElementDetail::showState(const ZAVTestTransferValues &v)
{
    if (!labelState)
        return;
    QString text;
    if (!v.absence.isEmpty())
        text = v.absence + QStringLiteral(": changes are not sent");
    else if (v.state == ZAVTestTransferValues::State::Cancelled)
        text = QStringLiteral("Cancelled: changes are not sent");
    else
        text = QStringLiteral("State at the service: %1").arg(Zav::displayWord(v.state));
    if (v.inCommit && v.absence.isEmpty())
        text += QStringLiteral(" (commit open: changes apply at End Commit)");
    labelState->setText(text);
    // A refusal's note stays until the tester's next change clears it from the record.
    if (!v.refusal.isEmpty() || (!shownRefusal.isEmpty() && labelNotice->text() == shownRefusal))
        labelNotice->setText(v.refusal);
    shownRefusal = v.refusal;
    // The controls that show a held value follow it: a change made elsewhere (an answer, Auto,
    // the slider, a refusal) leaves no control showing another. A field being typed in (edited
    // since its text was last sent or set) is left alone.
    const LoadingScope scope(loading);
    const QString status = v.statusEntry();
    if (status.isEmpty())
        transferStatus.showNoOption();
    else if (transferStatus.currentOption() != status)
        transferStatus.setCurrentOption(status);
    follow(textSize, QString::number(v.size));
    follow(textTitle, v.title);
    showProgress(v.progress);
}

void ZAVTestElementDetail::showProgress(double fraction)
{
    if (textProgress)
        follow(textProgress, percentText(fraction));
}

void ZAVTestElementDetail::follow(MTextEdit *field, const QString &text)
{
    const auto *line = qobject_cast<QLineEdit *>(field->editWidget());
    if (!(line && line->isModified()) && field->text() != text)
        field->setText(text);
}

QString ZAVTestElementDetail::percentText(double fraction)
{
    // The part done travels as a float: 0.05 is shown as 5, not 5.0000000745.
    return QString::number(double(float(fraction * 100)), 'g', 6);
}

void ZAVTestElementDetail::showSize(quint64 bytes)
{
    // Exact while the number fits the handle's label; beyond, in units, rounded (the typed
    // field holds the exact value).
    if (bytes < 10000000000ULL)
        transferSize.showValue(double(bytes), QStringLiteral("%1 bytes").arg(bytes));
    else
        transferSize.showValue(double(bytes), ZAVTestNumbers::roundedBytes(bytes));
}

void ZAVTestElementDetail::refuse(MTextEdit *field, const QString &why)
{
    qDebug() << "ZAVTestElementDetail: not sent:" << field->text() << why;
    labelNotice->setText(why);
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
    qDebug() << "ZAVTestElementDetail::sizeChanged(" << bytes << ") : " << shownId;
    emit transferSetSizeSignal(shownId, bytes);
}

void ZAVTestElementDetail::speedChanged(double value)
{
    if (loading)
        return;
    const int speed = ZAVTestNumbers::toInt32(value);
    qDebug() << "ZAVTestElementDetail::speedChanged(" << ZAVTestNumbers::toByteCount(value) << ") : " << shownId;
    emit transferSpeedSignal(shownId, speed);
}

void ZAVTestElementDetail::estimateChanged(double est)
{
    if (loading)
        return;
    const int seconds = ZAVTestNumbers::toInt32(est);
    qDebug() << "ZAVTestElementDetail::estimateChanged(" << ZAVTestNumbers::toByteCount(est) << ") : " << shownId;
    emit transferEstimateSignal(shownId, seconds);
}

void ZAVTestElementDetail::progressChanged(double value)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::progressChanged(" << value << ") :" << shownId;
    emit transferProgressSignal(shownId, ZAVTestNumbers::percentToFraction(value));
}

void ZAVTestElementDetail::msgChanged(QString &msg)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::msgChanged(" << msg << ") : " << shownId;
    emit transferMessageSignal(shownId, msg);
}

void ZAVTestElementDetail::nameChanged(QString &name)
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::nameChanged(" << name << "):" << shownId;
    emit transferNameSignal(shownId, name);
}

void ZAVTestElementDetail::buttonCanPauseClicked()
{
    if (loading)
        return;
    qDebug() << "ZAVTestElementDetail::buttonCanPauseClicked()" << shownId;
    emit transferCanPauseSignal(shownId, buttonCanPause->isChecked());
}

void ZAVTestElementDetail::iconChanged(QString &icon)
{
    if (loading)
        return;
    qDebug() << "icon changed" << icon;
    emit transferIconSignal(shownId, icon);
}

void ZAVTestElementDetail::thumbnailChanged(QString &thumbnail)
{
    if (loading)
        return;
    qDebug() << "thumbnail changed" << thumbnail;
    emit transferThumbnailSignal(shownId, thumbnail);
}

void ZAVTestElementDetail::cancelButtonTextChanged(QString &text)
{
    if (loading)
        return;
    emit transferCancelText(shownId, text);
}

void ZAVTestElementDetail::buttonAutoClicked(bool value)
{
    emit transferAuto(shownId, value);
}

void ZAVTestElementDetail::titleChanged()
{
    labelNotice->setText(QString());
    if (textTitle->text().size() > Zav::MaxTextLength) {
        refuse(textTitle, QStringLiteral("Not sent: a title is at most %1 characters").arg(Zav::MaxTextLength));
        return;
    }
    sent(textTitle);
    emit transferTitleChanged(shownId, textTitle->text());
}

void ZAVTestElementDetail::doneWithResult()
{
    labelNotice->setText(QString());
    if (textResult->text().size() > Zav::MaxTextLength) {
        refuse(textResult, QStringLiteral("Not sent: a result is at most %1 characters").arg(Zav::MaxTextLength));
        return;
    }
    emit transferDoneSignal(shownId, textResult->text());
}

void ZAVTestElementDetail::sizeEntered()
{
    labelNotice->setText(QString());
    // Read as whole bytes, exactly: a double would change 9007199254740993 into ...992.
    const std::optional<quint64> bytes = ZAVTestNumbers::exactByteCount(textSize->text());
    if (!bytes) {
        refuse(textSize, QStringLiteral("Not sent: a size is a whole number of bytes from 0 to 18446744073709551615"));
        return;
    }
    {
        const LoadingScope scope(loading);
        showSize(*bytes);
    }
    qDebug() << "ZAVTestElementDetail::sizeChanged(" << *bytes << ") : " << shownId;
    sent(textSize);
    emit transferSetSizeSignal(shownId, *bytes);
}

void ZAVTestElementDetail::progressEntered()
{
    labelNotice->setText(QString());
    // The service refuses a part done outside 0 to 1 or not a number: it is not sent, and the
    // slider keeps showing what the service holds.
    const double percent = ZAVTestNumbers::finiteNumber(textProgress->text()).value_or(-1);
    if (!(percent >= 0 && percent <= 100)) {
        refuse(textProgress, QStringLiteral("Not sent: progress is a number from 0 to 100"));
        return;
    }
    showEntered(transferProgress, percent, QString::number(percent, 'g', 6));
    sent(textProgress);
    progressChanged(percent);
}

void ZAVTestElementDetail::sent(MTextEdit *field)
{
    if (auto *line = qobject_cast<QLineEdit *>(field->editWidget()))
        line->setModified(false);
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
    qDebug() << "ZAVTestElementDetail::statusChanged(" << status << ") : " << shownId;
    using ZAVTestVocabulary::Status;
    switch (ZAVTestVocabulary::statusFrom(status).value_or(Status::NoMessageInactive)) {
    case Status::Active:
        emit transferSetActiveSignal(shownId, ZAVTestNumbers::percentToFraction(transferProgress.value()));
        break;
    case Status::Inactive:
        emit transferPendingSignal(shownId, transferMsg.currentOption());
        break;
    case Status::Done:
        emit transferDoneSignal(shownId);
        emit backButtonClicked();
        break;
    case Status::Error:
        emit transferFailedSignal(shownId, 0);
        break;
    case Status::Error1Recovery:
        emit transferFailedSignal(shownId, 1);
        break;
    case Status::Error2Recovery:
        emit transferFailedSignal(shownId, 2);
        break;
    case Status::NoMessageInactive:
        qDebug() << status << " not handled currently";
        break;
    }
}

void ZAVTestElementDetail::buttonCommitClicked()
{
    const bool checked = buttonCommit->isChecked();
    buttonCommit->setText(checked ? QStringLiteral("End Commit") : QStringLiteral("Start Commit"));
    emit commitChanged(shownId, checked);
}

void ZAVTestElementDetail::buttonCloseClicked()
{
    emit backButtonClicked();
    disappear();
}
