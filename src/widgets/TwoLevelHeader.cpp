#include "TwoLevelHeader.h"

#include "ReportModel.h"

#include <QPainter>
#include <QStyleOptionHeader>

TwoLevelHeader::TwoLevelHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
    // A resized section moves the centre of its shared upper cell, which lies partly in other sections.
    connect(this, &QHeaderView::sectionResized, this, [this] { viewport()->update(); });
}

QString TwoLevelHeader::upperTitle(int logicalIndex) const
{
    return model() ? model()->headerData(logicalIndex, orientation(), ReportModel::UpperTitleRole).toString()
                   : QString();
}

bool TwoLevelHeader::hasUpperTitles() const
{
    for (int i = 0; i < count(); ++i)
        if (!upperTitle(i).isEmpty())
            return true;
    return false;
}

QSize TwoLevelHeader::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    if (hasUpperTitles())
        size.setHeight(size.height() * 2);
    return size;
}

QPair<int, int> TwoLevelHeader::upperSpan(int section) const
{
    const QString upper = upperTitle(section);
    int first = visualIndex(section);
    int last = first;
    auto sameGroup = [&](int visual) {
        const int logical = logicalIndex(visual);
        return logical >= 0 && !isSectionHidden(logical) && upperTitle(logical) == upper;
    };
    while (first > 0 && sameGroup(first - 1))
        --first;
    while (last + 1 < count() && sameGroup(last + 1))
        ++last;
    return { first, last };
}

void TwoLevelHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const QString upper = upperTitle(logicalIndex);
    if (upper.isEmpty() || !rect.isValid()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    const int upperHeight = rect.height() / 2;
    QRect lower = rect;
    lower.setTop(rect.top() + upperHeight);
    painter->save();   // the style may leave its clip behind
    QHeaderView::paintSection(painter, lower, logicalIndex);
    painter->restore();

    // The shared cell spans the whole group; each section paints the part above itself.
    const auto [first, last] = upperSpan(logicalIndex);
    const int left = sectionViewportPosition(this->logicalIndex(first));
    const int lastLogical = this->logicalIndex(last);
    const int right = sectionViewportPosition(lastLogical) + sectionSize(lastLogical);
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = QRect(left, rect.top(), right - left, upperHeight);
    opt.section = logicalIndex;
    opt.text = upper;
    opt.textAlignment = Qt::AlignCenter;
    opt.position = QStyleOptionHeader::OnlyOneSection;
    opt.state |= QStyle::State_Enabled;
    painter->save();
    painter->setClipRect(QRect(rect.left(), rect.top(), rect.width(), upperHeight), Qt::IntersectClip);
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
}
