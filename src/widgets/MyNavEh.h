// MyNavEh.h: the record navigator: ten captioned buttons that move through, add, delete, edit,
// post, cancel and refresh the rows of one DataSet.
#pragma once

#include "DataSet.h"

#include <QPointer>
#include <QWidget>

class QAbstractButton;

// The buttons in their order on the bar; the objectName of each button is its kind's name.
enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };

// A flat bar, 25 pixels high. The buttons follow the bound DataSet: all are disabled while it is
// missing or closed (or the navigator is disabled); first/prior need a row before the current
// one, next/last one after it; delete needs a modifiable set with rows; insert and refresh a
// modifiable set; edit a modifiable set not being edited; post and cancel a modifiable set
// being edited or inserted.
//
// A button's action runs through Guarded: a refused post or delete shows the general error box
// with the engine's text and the DataSet keeps its state. Delete always asks "您确认要删除这条记录
// 吗？" first (a new row being inserted is cancelled instead of deleted).
//
// Keyboard: the navigator takes the focus by Tab (not by clicks, so that an edit keeps it);
// with the focus, Left and Right move between the visible buttons, stopping at the ends, and
// Space presses the focused button when it is enabled.
class TMyDBNavigator : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ButtonCount = 10;

    explicit TMyDBNavigator(QWidget *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_dataSet; }

    QAbstractButton *button(TNavigateBtn kind) const { return m_buttons[kind]; }
    void setButtonVisible(TNavigateBtn kind, bool visible);
    // The button that Space presses while the navigator has the focus.
    TNavigateBtn focusedButton() const { return m_focused; }

    // The caption of each kind, in the order of the buttons.
    static QString NavButtonCaptions(TNavigateBtn kind);

    // The action of a button; does nothing unless a DataSet is bound and open.
    virtual void ButtonClick(TNavigateBtn Index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void SetButtonCaptions();
    void updateButtons();
    void setFocusedButton(TNavigateBtn kind);

    QPointer<DataSet> m_dataSet;
    QList<QMetaObject::Connection> m_connections;
    QAbstractButton *m_buttons[ButtonCount] = {};
    TNavigateBtn m_focused = nbFirst;
};
