#include "ufrmWorkshop.h"

#include "ButtonKeys.h"
#include "DataSet.h"
#include "Database.h"
#include "Guarded.h"
#include "LineLimit.h"
#include "Messages.h"
#include "UCommon.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <memory>

TfrmWorkshop *frmWorkshop = nullptr;

namespace {

const QString AddFailedText = QStringLiteral("车间（班组）增加失败！");

template <typename W>
W *placeOn(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
    return w;
}

}

TfrmWorkshop::TfrmWorkshop(QWidget *parent) : QWidget(parent)
{
    frmWorkshop = this;
    setObjectName(QStringLiteral("frmWorkshop"));
    setWindowTitle(QStringLiteral("frmWorkshop"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 480);

    TVWorkShop = new QTreeWidget(this);
    TVWorkShop->setObjectName(QStringLiteral("TVWorkShop"));
    TVWorkShop->setColumnCount(1);
    TVWorkShop->setHeaderHidden(true);
    TVWorkShop->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TVWorkShop->setSelectionMode(QAbstractItemView::SingleSelection);
    TVWorkShop->setToolTip(QStringLiteral("右键菜单进行车间（班组）维护"));
    TVWorkShop->setContextMenuPolicy(Qt::CustomContextMenu);
    // A right click must not move the selection: the commands act on the selected node.
    TVWorkShop->viewport()->installEventFilter(this);
    // The node with the keyboard focus is the selected one, as the tree gives the focus to a node
    // when it is tabbed into: the commands then act on the node the operator sees marked.
    connect(TVWorkShop->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                QItemSelectionModel *selection = TVWorkShop->selectionModel();
                if (current.isValid() && !selection->isSelected(current))
                    selection->select(current, QItemSelectionModel::ClearAndSelect);
            });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(TVWorkShop);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N2 = PopupMenu1->addAction(QStringLiteral("添加车间(班组)"));
    N2->setObjectName(QStringLiteral("N2"));
    PopupMenu1->addSeparator();
    N3 = PopupMenu1->addAction(QStringLiteral("修改车间(班组)"));
    N3->setObjectName(QStringLiteral("N3"));
    PopupMenu1->addSeparator();
    N4 = PopupMenu1->addAction(QStringLiteral("删除车间(班组)"));
    N4->setObjectName(QStringLiteral("N4"));

    // The panel floats over the tree, outside the layout, and leaves the tree usable.
    Panel3 = placeOn<QFrame>(this, "Panel3", 152, 80, 265, 193);
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Raised);
    Panel3->setAutoFillBackground(true);
    Label1 = placeOn<QLabel>(Panel3, "Label1", 24, 16, 217, 20);
    Label1->setText(QStringLiteral("车间班组名称"));
    edtWorkShopName = placeOn<QLineEdit>(Panel3, "edtWorkShopName", 24, 38, 217, 23);
    Label2 = placeOn<QLabel>(Panel3, "Label2", 24, 74, 217, 20);
    Label2->setText(QStringLiteral("功能简述"));
    edtWorkShopMemo = placeOn<QLineEdit>(Panel3, "edtWorkShopMemo", 24, 96, 217, 23);
    // The columns hold 50 characters.
    SetLineLimit(edtWorkShopName, 50);
    SetLineLimit(edtWorkShopMemo, 50);
    BitBtn2 = placeOn<QPushButton>(Panel3, "BitBtn2", 40, 146, 75, 25);
    BitBtn2->setText(QStringLiteral("确定"));
    BitBtn3 = placeOn<QPushButton>(Panel3, "BitBtn3", 150, 146, 75, 25);
    BitBtn3->setText(QStringLiteral("取消"));
    setTabOrder(TVWorkShop, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    setTabOrder(BitBtn3, edtWorkShopName);
    setTabOrder(edtWorkShopName, edtWorkShopMemo);

    connect(TVWorkShop, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        PopupMenu1->popup(TVWorkShop->viewport()->mapToGlobal(pos));
    });
    connect(N2, &QAction::triggered, this, &TfrmWorkshop::N2Click);
    connect(N3, &QAction::triggered, this, &TfrmWorkshop::N3Click);
    connect(N4, &QAction::triggered, this, &TfrmWorkshop::N4Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmWorkshop::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmWorkshop::BitBtn3Click);

    EnterPressesFocusedButton(this);
    FormCreate();
}

TfrmWorkshop::~TfrmWorkshop()
{
    if (frmWorkshop == this)
        frmWorkshop = nullptr;
}

void TfrmWorkshop::FormCreate()
{
    adoWorkshop = new DataSet(this);
    adoWorkshop->setObjectName(QStringLiteral("adoWorkshop"));
    adoWorkshop->setSql(WorkshopSql::selectAll());
    KelvaraMg->BindQuery(adoWorkshop);
    Panel3->hide();
    adoWorkshopCmd = new DataSet(this);
    adoWorkshopCmd->setObjectName(QStringLiteral("adoWorkshopCmd"));
    KelvaraMg->BindQuery(adoWorkshopCmd);
}

void TfrmWorkshop::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        Guarded(this, [&] { FormShow(); });
    }
}

void TfrmWorkshop::FormShow()
{
    BuildTree();
}

bool TfrmWorkshop::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TVWorkShop->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
                return true;   // the context menu event still follows
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TWorkShop TfrmWorkshop::recordOf(const QTreeWidgetItem *node)
{
    return node->data(0, Qt::UserRole).value<TWorkShop>();
}

QTreeWidgetItem *TfrmWorkshop::AddNode(QTreeWidgetItem *parent, const TWorkShop &record)
{
    auto *node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TVWorkShop);
    node->setText(0, record.name);
    node->setData(0, Qt::UserRole, QVariant::fromValue(record));
    return node;
}

QTreeWidgetItem *TfrmWorkshop::SelectedNode() const
{
    // The highlighted node: the view may hold a current item that the operator never selected.
    return TVWorkShop->selectedItems().value(0);
}

QTreeWidgetItem *TfrmWorkshop::NodeOf(qint64 id) const
{
    for (QTreeWidgetItemIterator it(TVWorkShop); *it; ++it)
        if (recordOf(*it).id == id)
            return *it;
    return nullptr;
}

void TfrmWorkshop::CloseWindow()
{
    // Closed once the show that found no using unit has finished.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
                sub->close();
            else
                close();
        },
        Qt::QueuedConnection);
}

void TfrmWorkshop::BuildTree()
{
    if (TerminateRequested())
        return;
    TVWorkShop->clear();
    const QString unit = KelvaraMg->GetUsingUnitName();
    if (unit.isEmpty()) {
        KelvaraMg->ShowMessageText(QStringLiteral("请首先设置使用单位！"));
        CloseWindow();
        return;
    }
    adoWorkshop->close();
    adoWorkshop->open();
    const QList<WorkshopTree::Entry> entries =
        WorkshopTree::build(WorkshopTree::rootRecord(unit), WorkshopTree::records(*adoWorkshop));
    QList<QTreeWidgetItem *> nodes;
    nodes.reserve(entries.size());
    for (const WorkshopTree::Entry &e : entries)
        nodes.append(AddNode(e.parent < 0 ? nullptr : nodes.at(e.parent), e.record));
}

void TfrmWorkshop::ShowPanel(PanelMode mode)
{
    FPanelMode = mode;
    Panel3->show();
    Panel3->raise();
    edtWorkShopName->setFocus();
}

void TfrmWorkshop::N2Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    const TWorkShop record = recordOf(node);
    if (!WorkshopTree::canAddBelow(record)) {
        ShowPlainMessage(this, QStringLiteral("不能增加班组以下的单位!"));
        return;
    }
    // OK adds below this node, whatever is selected by then.
    FWorkShop = record;
    ShowPanel(PanelMode::Add);
}

void TfrmWorkshop::N3Click()
{
    QTreeWidgetItem *node = SelectedNode();
    if (!node)
        return;
    FWorkShop = recordOf(node);
    ShowPanel(PanelMode::Modify);
    edtWorkShopName->setText(FWorkShop.name);
    edtWorkShopMemo->setText(FWorkShop.description);
}

void TfrmWorkshop::N4Click()
{
    if (ShowMessageBox(this, QStringLiteral("你确认要删除该车间(班组)吗? 这样将会删除该车间所有的下属班组！"),
                       QStringLiteral("删除提示"), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    Guarded(this, [&] { DeleteWorkShop(); });
}

void TfrmWorkshop::BitBtn2Click()
{
    Guarded(this, [&] {
        const QString name = TrimBlanks(edtWorkShopName->text());
        const QString description = TrimBlanks(edtWorkShopMemo->text());
        if (name.isEmpty() || description.isEmpty()) {
            ShowPlainMessage(this, QStringLiteral("请输入车间班组名称或描述！"));
            return;
        }
        if (FPanelMode == PanelMode::Modify)
            UpdateWorkShop(name, description);
        else
            AppendWorkShop(name, description);
        Panel3->hide();
    });
}

void TfrmWorkshop::BitBtn3Click()
{
    Panel3->hide();
}

void TfrmWorkshop::AppendWorkShop(const QString &name, const QString &description)
{
    // The remembered parent may have been deleted while the panel was open.
    QTreeWidgetItem *parent = NodeOf(FWorkShop.id);
    WorkshopTree::Result r;
    r.outcome = WorkshopTree::Outcome::Missing;
    if (parent) {
        try {
            r = WorkshopTree::append(adoWorkshopCmd->database(), recordOf(parent), name, description);
        } catch (const DatabaseError &) {
            r.outcome = WorkshopTree::Outcome::Missing;
        }
    }
    if (r.outcome != WorkshopTree::Outcome::Done) {
        KelvaraMg->ShowMessageText(AddFailedText);
        return;
    }
    AddNode(parent, r.record);
    parent->setExpanded(true);
}

void TfrmWorkshop::UpdateWorkShop(const QString &name, const QString &description)
{
    WorkshopTree::Result r;
    try {
        r = WorkshopTree::update(adoWorkshopCmd->database(), FWorkShop.id, name, description, FWorkShop);
    } catch (const DatabaseError &) {
        ShowPlainMessage(this, QStringLiteral("车间班组信息更新失败!"));
        return;
    }
    // Another window renamed the unit meanwhile: nothing is overwritten.
    if (r.outcome == WorkshopTree::Outcome::Changed) {
        KelvaraMg->ShowMessageText(QStringLiteral("该记录已被其他用户修改，请刷新后重试！"));
        return;
    }
    // A unit whose row has gone changes nothing.
    if (r.outcome != WorkshopTree::Outcome::Done)
        return;
    FWorkShop = r.record;
    if (QTreeWidgetItem *node = NodeOf(r.record.id)) {
        node->setText(0, r.record.name);
        node->setData(0, Qt::UserRole, QVariant::fromValue(r.record));
    }
}

void TfrmWorkshop::DeleteWorkShop()
{
    QTreeWidgetItem *node = SelectedNode();
    if (TVWorkShop->topLevelItemCount() == 0 || !node)
        return;
    WorkshopTree::Result r;
    try {
        r = WorkshopTree::remove(adoWorkshopCmd->database(), recordOf(node));
    } catch (const DatabaseError &) {
        KelvaraMg->ShowMessageText(QStringLiteral("删除车间班组出错!"));
        return;
    }
    switch (r.outcome) {
    case WorkshopTree::Outcome::IsRoot:
        KelvaraMg->ShowMessageText(QStringLiteral("不能删除当前使用单位！"));
        return;
    case WorkshopTree::Outcome::HasMeters:
        KelvaraMg->ShowMessageText(QStringLiteral("该车间(班组)下还有表，不能删除！"));
        return;
    default:
        break;
    }
    // The table decides what went: every deleted unit still in the tree leaves it.
    for (const qint64 id : std::as_const(r.removed)) {
        QTreeWidgetItem *gone = NodeOf(id);
        if (!gone)
            continue;
        QTreeWidgetItem *above = gone->parent();
        std::unique_ptr<QTreeWidgetItem> taken(above ? above->takeChild(above->indexOfChild(gone))
                                                     : TVWorkShop->takeTopLevelItem(
                                                           TVWorkShop->indexOfTopLevelItem(gone)));
    }
}
