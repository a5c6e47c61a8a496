// SPDX-License-Identifier: MIT
#ifndef ZAVTESTMAINPAGE_H
#define ZAVTESTMAINPAGE_H

#include <MApplicationPage.h>

#include <QList>

class MLabel;
class QGraphicsLinearLayout;

// The first page: "Add New Transfers" and "Show Transfers". Shortly after it first appears it
// creates the pages those buttons open, keeps them as child pages and finds them by title.
class ZAVTestMainPage : public MApplicationPage
{
    Q_OBJECT
public:
    ZAVTestMainPage();
    ~ZAVTestMainPage() override;

public Q_SLOTS:
    void appear(MSceneWindow::DeletionPolicy policy = KeepWhenDone) override;

protected:
    void createContent() override;

private Q_SLOTS:
    void addTransferClicked();
    void showTransferClicked();
    void becameVisible();
    void handleBackItemClick();

private:
    void addPage(MApplicationPage *page);
    MApplicationPage *findPage(const QString &title);

    QList<MApplicationPage *> pages;
    MApplicationPage *currentPage;
    QGraphicsLinearLayout *layout = nullptr;
    MLabel *serviceNotice = nullptr;
};

#endif
