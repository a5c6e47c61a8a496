// SPDX-License-Identifier: MIT
#ifndef MCOMBOBOX_H
#define MCOMBOBOX_H

#include "MWidgetController.h"

class QAbstractItemModel;
class QComboBox;
class QLabel;

// A titled list from which one entry is picked. The entries come from an item model.
class MComboBox : public MWidgetController
{
    Q_OBJECT
public:
    explicit MComboBox(QGraphicsItem *parent = nullptr);
    ~MComboBox() override;

    QString title() const;
    void setTitle(const QString &title);
    QAbstractItemModel *itemModel() const;
    // The model is not owned by the combo box.
    void setItemModel(QAbstractItemModel *model);
    int count() const;
    QString itemText(int index) const;
    int currentIndex() const;
    QString currentText() const;
    // The list has no icon to show or hide: nothing to do.
    void setIconVisible(bool) { }
    // Whether any combo box's list is open now (Esc then closes the list, nothing more).
    static bool isAnyListOpen();

    // The list widget itself, for tests that drive it as a user would.
    QComboBox *comboWidget() const { return m_combo; }

    // Acts as the user picking entry `index` from the open list (picking the current entry again
    // raises reselected()).
    void pick(int index);

public Q_SLOTS:
    void setCurrentIndex(int index);

Q_SIGNALS:
    void currentIndexChanged(int index);
    // The user picked, from the open list, the entry that was already current.
    void reselected(int index);

private:
    void popupShown(bool shown);
    void fitPopup();

    QLabel *m_title;
    QComboBox *m_combo;
    qreal m_restingZ = 0;
    int m_indexAtPopup = -2; // the current index when the list opened, until a change or pick
};

#endif
