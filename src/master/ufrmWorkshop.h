// ufrmWorkshop.h: the workshop tree window: the using unit with its units, workshops and teams,
// kept through a context menu and a floating edit panel.
#pragma once

#include "WorkshopTree.h"

#include <QWidget>

class DataSet;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmWorkshop : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmWorkshop(QWidget *parent = nullptr);
    ~TfrmWorkshop() override;             // clears frmWorkshop

    void N2Click();                       // "添加车间(班组)"
    void N3Click();                       // "修改车间(班组)"
    void N4Click();                       // "删除车间(班组)"
    void BitBtn2Click();                  // "确定"
    void BitBtn3Click();                  // "取消"

    // The record a node carries.
    static TWorkShop recordOf(const QTreeWidgetItem *node);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class PanelMode { Add, Modify };

    void FormCreate();
    void FormShow();
    void BuildTree();
    void AppendWorkShop(const QString &name, const QString &description);
    void UpdateWorkShop(const QString &name, const QString &description);
    void DeleteWorkShop();
    void ShowPanel(PanelMode mode);
    QTreeWidgetItem *SelectedNode() const;
    QTreeWidgetItem *NodeOf(qint64 id) const;
    QTreeWidgetItem *AddNode(QTreeWidgetItem *parent, const TWorkShop &record);
    void CloseWindow();

    QTreeWidget *TVWorkShop = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *N2 = nullptr;
    QAction *N3 = nullptr;
    QAction *N4 = nullptr;
    QFrame *Panel3 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *edtWorkShopName = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *edtWorkShopMemo = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    DataSet *adoWorkshop = nullptr;
    DataSet *adoWorkshopCmd = nullptr;

    PanelMode FPanelMode = PanelMode::Add;
    // Add: the parent chosen when the command was given; modify: the unit being modified.
    TWorkShop FWorkShop;
    bool m_shown = false;
};

extern TfrmWorkshop *frmWorkshop;
