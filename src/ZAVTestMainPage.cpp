// SPDX-License-Identifier: MIT
#include "ZAVTestMainPage.h"

#include "ZAVTestAddTransferPage.h"
#include "ZAVTestShowTransferPage.h"

#include <MButton.h>
#include <MLabel.h>

#include <QGraphicsLinearLayout>
#include <QTimer>

ZAVTestMainPage::ZAVTestMainPage()
    : MApplicationPage(nullptr)
    , currentPage(nullptr)
{
    setEscapeMode(MApplicationPageModel::EscapeCloseWindow);
}

// The child pages are child objects and go with the page.
ZAVTestMainPage::~ZAVTestMainPage() = default;

void ZAVTestMainPage::appear(MSceneWindow::DeletionPolicy policy)
{
    MSceneWindow::appear(policy);
    QTimer::singleShot(100, this, &ZAVTestMainPage::becameVisible);
}

void ZAVTestMainPage::createContent()
{
    auto *addButton = new MButton(QStringLiteral("Add New Transfers"));
    auto *showButton = new MButton(QStringLiteral("Show Transfers"));
    connect(addButton, &MButton::clicked, this, &ZAVTestMainPage::addTransferClicked);
    connect(showButton, &MButton::clicked, this, &ZAVTestMainPage::showTransferClicked);
    auto *buttons = new QGraphicsLinearLayout;
    buttons->addItem(addButton);
    buttons->addItem(showButton);
    // A notice line may go above the buttons.
    layout = new QGraphicsLinearLayout(Qt::Vertical);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addItem(buttons);
    layout->addStretch();
    centralWidget()->setLayout(layout);
}

void ZAVTestMainPage::becameVisible()
{
    // Every return to this page schedules this again; the pages are made once. More would
    // never be opened (the first match by title wins) and each would open a service connection.
    if (!pages.isEmpty())
        return;
    auto *showPage = new ZAVTestShowTransferPage;
    addPage(showPage);
    if (layout) {
        serviceNotice = new MLabel(ZAVTestShowTransferPage::noServiceText(), centralWidget());
        serviceNotice->setObjectName(QStringLiteral("NoticeLine"));
        const auto showAvailability = [this](bool available) {
            ZAVTestShowTransferPage::placeNotice(layout, serviceNotice, !available);
        };
        showAvailability(showPage->isServiceAvailable());
        connect(showPage, &ZAVTestShowTransferPage::serviceAvailabilityChanged, this, showAvailability);
    }
    auto *addPageObject = new ZAVTestAddTransferPage;
    addPageObject->setShowTransferPage(showPage);
    addPage(addPageObject);
}

void ZAVTestMainPage::addTransferClicked()
{
    MApplicationPage *page = findPage(QStringLiteral("Add Transfer"));
    if (!page)
        return;
    page->setEscapeMode(MApplicationPageModel::EscapeAuto);
    connect(page, &MApplicationPage::backButtonClicked, this, &ZAVTestMainPage::handleBackItemClick);
    currentPage = page;
    if (auto *addTransferPage = qobject_cast<ZAVTestAddTransferPage *>(page))
        addTransferPage->enableButtons();
    page->appear(MSceneWindow::KeepWhenDone);
}

void ZAVTestMainPage::showTransferClicked()
{
    MApplicationPage *page = findPage(QStringLiteral("Show Transfer"));
    if (!page)
        return;
    page->setEscapeMode(MApplicationPageModel::EscapeAuto);
    connect(page, &MApplicationPage::backButtonClicked, this, &ZAVTestMainPage::handleBackItemClick);
    page->appear(MSceneWindow::KeepWhenDone);
    currentPage = page;
}

void ZAVTestMainPage::handleBackItemClick()
{
    if (currentPage)
        disconnect(currentPage, &MApplicationPage::backButtonClicked, this, &ZAVTestMainPage::handleBackItemClick);
    appear(MSceneWindow::KeepWhenDone);
}

void ZAVTestMainPage::addPage(MApplicationPage *page)
{
    page->setParent(this);
    pages.append(page);
}

MApplicationPage *ZAVTestMainPage::findPage(const QString &title)
{
    for (MApplicationPage *page : std::as_const(pages)) {
        if (page->title() == title)
            return page;
    }
    return nullptr;
}
