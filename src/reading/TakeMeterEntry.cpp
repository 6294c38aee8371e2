#include "TakeMeterEntry.h"

#include "DataSet.h"
#include "Database.h"
#include "Messages.h"
#include "ReadingStore.h"
#include "UCommon.h"

#include <QScopeGuard>

namespace {

bool sameMeter(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}

TakeMeterEntry::TakeMeterEntry(TKelvaraMg &manager, QWidget *messageOwner, QObject *parent)
    : QObject(parent), m_manager(manager), m_owner(messageOwner), m_readingDate(QDate::currentDate())
{
    m_rows = new DataSet(this);
    m_rows->setObjectName(QStringLiteral("adoTakeMeter"));
    m_rows->setSql(QStringLiteral("select * from TakeMeter"));
    m_rows->setUpdateTable(QStringLiteral("TakeMeter"), { QStringLiteral("MeterID"), QStringLiteral("TakeTime") });
    m_rows->setBeforePost([this] { adoTakeMeterBeforePost(); });
    m_manager.BindQuery(m_rows);
}

QString TakeMeterEntry::alreadyReadText(const QString &meterNo)
{
    return QStringLiteral("表号为 ") + meterNo + QStringLiteral(" 的表在今天已抄过了,你要对它进行修改吗？");
}

QString TakeMeterEntry::notFoundText(const QString &meterNo)
{
    return QStringLiteral("编号为 ") + meterNo + QStringLiteral("  的表不存在，请先在表管理中维护！");
}

void TakeMeterEntry::setReadingDate(const QDate &date)
{
    if (!date.isValid() || (date == m_readingDate && m_rows->isActive()))
        return;
    m_readingDate = date;
    OpenReadings();
}

bool TakeMeterEntry::OpenReadings()
{
    m_rows->close();
    // In the order they were typed.
    m_rows->setSql(QStringLiteral("select * from TakeMeter where TakeTime = :TakeTime order by rowid"));
    m_rows->setParam(QStringLiteral("TakeTime"), m_readingDate.toString(Qt::ISODate));
    try {
        m_rows->open();
        return true;
    } catch (const DatabaseError &) {
        ShowMessageBox(m_owner, QStringLiteral("打开表错误！"), QStringLiteral("出错提示"), QMessageBox::Critical);
        return false;
    }
}

bool TakeMeterEntry::start()
{
    if (!m_rows->isActive() || m_rows->isEditing())
        return false;
    m_rows->append();
    return true;
}

QString TakeMeterEntry::storedMeterOfEditedRow() const
{
    return m_rows->state() == DataSet::Edit ? m_rows->storedValue(QStringLiteral("MeterID")).toString() : QString();
}

void TakeMeterEntry::holdRowFor(const QString &number)
{
    // Typing a meter number never turns a stored reading into another meter's reading.
    if (m_rows->state() == DataSet::Edit && !sameMeter(storedMeterOfEditedRow(), number))
        m_rows->cancel();
    if (!m_rows->isEditing())
        m_rows->append();
    m_rows->setValue(QStringLiteral("MeterID"), number);
}

TakeMeterEntry::MeterResult TakeMeterEntry::meterEntered(const QString &typed)
{
    m_matches.clear();
    m_exactMatch = -1;
    m_readingMeterNo = TrimBlanks(typed);
    if (m_readingMeterNo.isEmpty()) {
        m_manager.ShowMessageText(QStringLiteral("请输入表号！"));
        return MeterResult::Empty;
    }
    // The manager's result set lasts only until its next statement: read it at once.
    DataSet *lookup = m_manager.FindMeterNumbers(m_readingMeterNo);
    QStringList found;
    for (lookup->first(); !lookup->eof(); lookup->next())
        found << lookup->value(0).toString();

    if (found.isEmpty()) {
        ShowMessageBox(m_owner, notFoundText(m_readingMeterNo), QStringLiteral("操作提示"), QMessageBox::Information);
        if (m_rows->state() == DataSet::Insert)
            m_rows->setValue(QStringLiteral("MeterID"), QVariant());
        return MeterResult::NotFound;
    }
    if (found.size() > 1) {
        m_matches = found;
        for (int i = 0; i < found.size() && m_exactMatch < 0; ++i)
            if (sameMeter(found.at(i), m_readingMeterNo))
                m_exactMatch = i;
        return MeterResult::Choose;
    }
    return meterChosen(found.constFirst());
}

TakeMeterEntry::MeterResult TakeMeterEntry::meterChosen(const QString &number)
{
    m_readingMeterNo = number;
    holdRowFor(number);
    return offerCorrection(number);
}

TakeMeterEntry::MeterResult TakeMeterEntry::offerCorrection(const QString &number)
{
    // Already correcting this very reading.
    if (m_rows->state() == DataSet::Edit)
        return MeterResult::ToCounter;
    if (!m_manager.IsReadOnDate(number, m_readingDate))
        return MeterResult::ToCounter;
    if (ShowMessageBox(m_owner, alreadyReadText(number), QStringLiteral("提示"), QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return MeterResult::Declined;

    const int meterField = m_rows->fieldIndex(QStringLiteral("MeterID"));
    int stored = -1;
    for (int pos = 0; pos < m_rows->recordCount() && stored < 0; ++pos) {
        if (m_rows->state() == DataSet::Insert && pos == m_rows->recNo())
            continue;
        if (sameMeter(m_rows->valueAt(pos, meterField).toString(), number))
            stored = pos;
    }
    if (stored < 0) {
        m_manager.ShowMessageText(QStringLiteral("表记录定位错!"));
        return MeterResult::LocateFailed;
    }
    m_rows->cancel();
    m_rows->locate({ QStringLiteral("MeterID"), QStringLiteral("TakeTime") }, { number, m_readingDate });
    m_rows->edit();
    return MeterResult::Correcting;
}

TakeMeterEntry::SaveResult TakeMeterEntry::counterEntered()
{
    m_hookResult = SaveResult::Stored;
    try {
        m_rows->post();
        m_rows->append();
        return m_hookResult;
    } catch (const AbortError &) {
        return SaveResult::Kept;
    } catch (const DatabaseError &e) {
        // A locked, read-only, full or damaged file is told by its cause.
        if (e.namesCause())
            throw;
        ShowErrorBox(m_owner, QStringLiteral("数据提交失败！"));
        return SaveResult::Failed;
    } catch (const std::exception &) {
        ShowErrorBox(m_owner, QStringLiteral("数据提交失败！"));
        return SaveResult::Failed;
    }
}

void TakeMeterEntry::adoTakeMeterBeforePost()
{
    m_hookResult = SaveResult::Stored;
    if (m_rows->isNull(QStringLiteral("TakeNumber")))
        throw DatabaseError(QStringLiteral("请输入当前表数！"));
    const QString meter = TrimBlanks(m_rows->asString(QStringLiteral("MeterID")));
    // The field holds 32-bit values only, as the conversion of the typed text checks.
    const qint32 counter = qint32(m_rows->asInteger(QStringLiteral("TakeNumber")));
    const bool ownReading = m_rows->state() == DataSet::Edit && sameMeter(storedMeterOfEditedRow(), meter);

    bool declined = false;
    RolloverConfirmation previousConfirmation = m_manager.FConfirmRollover;
    m_manager.SetRolloverConfirmation([&](qint32 typed, qint32 previous) {
        const bool yes = ShowMessageBox(m_owner, RolloverQuestionText(typed, previous), QStringLiteral("提示"),
                                        QMessageBox::Question, QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes;
        declined = !yes;
        return yes;
    });
    const auto restore = qScopeGuard([&] { m_manager.SetRolloverConfirmation(previousConfirmation); });

    ReadingStore store(m_manager);
    const std::optional<StoredReading> row = store.prepare(meter, counter, m_readingDate, ownReading);
    if (!row) {
        if (declined) {
            m_hookResult = SaveResult::Kept;
            throw AbortError();
        }
        // A new reading is dropped; a correction is dropped and the stored reading stays as it was.
        m_hookResult = SaveResult::Refused;
        m_rows->cancel();
        return;
    }
    m_rows->setValue(QStringLiteral("MeterID"), row->MeterID);
    m_rows->setValue(QStringLiteral("TakeTime"), row->TakeTime);
    m_rows->setValue(QStringLiteral("InputDate"), row->InputDate);
    m_rows->setValue(QStringLiteral("CurValue"), row->CurValue);
    m_rows->setCurrency(QStringLiteral("Charge"), row->Charge);
    m_rows->setCurrency(QStringLiteral("QuotaCharge"), row->QuotaCharge);
}
