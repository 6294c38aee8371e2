// TwoLevelHeader.h: a horizontal header that paints "upper|lower" titles in two bands, adjacent
// columns with the same upper title sharing one cell of the upper band.
#pragma once

#include <QHeaderView>

class TwoLevelHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit TwoLevelHeader(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QString upperTitle(int logicalIndex) const;
    // Visual range of the visible sections that share the section's upper title.
    QPair<int, int> upperSpan(int logicalIndex) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    bool hasUpperTitles() const;
};
