// Field values: conversion of what the owner sets to the field's kind, and reading them back.
#include "platform/store/TableStore_p.h"

#include "platform/CodePage.h"
#include "platform/Regional.h"

#include <cmath>
#include <limits>

int TableStore::fieldIndex(const QString& name) const
{
    if (const auto found = m_fieldByName.constFind(name); found != m_fieldByName.cend())
        return *found;
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            m_fieldByName.insert(name, int(i));
            return int(i);
        }
    }
    throw AppError(QStringLiteral("Field \"%1\" not found in table %2").arg(name, label()));
}

QString TableStore::textOf(int field, const QVariant& value) const
{
    if (value.isNull())
        return QString();
    switch (m_fields.at(field).kind) {
    case FieldKind::String:
        return value.toString();
    case FieldKind::Float:
        return Regional::formatGeneral(value.toDouble());
    default:
        return QString::number(value.toLongLong());
    }
}

QVariant TableStore::checkedInteger(int field, qint64 value) const
{
    const Field& f = m_fields.at(field);
    qint64 low = std::numeric_limits<qint32>::min();
    qint64 high = std::numeric_limits<qint32>::max();
    switch (f.kind) {
    case FieldKind::String:
        return converted(field, QString::number(value));
    case FieldKind::Float:
        return double(value);
    case FieldKind::SmallInt:
        low = std::numeric_limits<qint16>::min();
        high = std::numeric_limits<qint16>::max();
        break;
    default:
        break;
    }
    if (value < low || value > high) {
        throw AppError(QStringLiteral("%1 is not a valid value for field \"%2\". The allowed range is %3 to %4")
                           .arg(value)
                           .arg(f.name)
                           .arg(low)
                           .arg(high));
    }
    return value;
}

QVariant TableStore::converted(int field, const QString& text) const
{
    if (text.isEmpty())
        return QVariant();
    const Field& f = m_fields.at(field);
    switch (f.kind) {
    case FieldKind::String:
        // What the table keeps is what the code page holds, cut to the field's size.
        return CodePage::toUnicode(CodePage::fromUnicode(text).left(f.size));
    case FieldKind::Float:
        return Regional::parseDecimal(text);
    default:
        return checkedInteger(field, Regional::parseWholeNumber(text));
    }
}

QVariant TableStore::currentValue(int field) const
{
    if (m_pending)
        return m_pending->values.at(field);
    if (m_currentAhead >= 0)
        return m_ahead.value(m_currentAhead, field, m_fields);
    if (m_current)
        return m_current->values.at(field);
    return QVariant();
}

int TableStore::pendingField(const QString& name) const
{
    requireOpen();
    const int f = fieldIndex(name);
    if (!m_pending)
        throw AppError(QStringLiteral("Table %1 has no row being inserted or changed").arg(label()));
    if (m_fields.at(f).kind == FieldKind::AutoInc)
        throw AppError(QStringLiteral("Field \"%1\" is numbered by the table and cannot be set").arg(m_fields.at(f).name));
    return f;
}

void TableStore::setPendingValue(int field, const QVariant& value)
{
    m_pending->values[field] = value;
    m_pending->changed[field] = true;
    emit currentChanged();
    notifyDetails(false);
}

void TableStore::SetFieldText(const QString& field, const QString& text)
{
    const int f = pendingField(field);
    setPendingValue(f, converted(f, text));
}

void TableStore::SetFieldInteger(const QString& field, qint64 value)
{
    const int f = pendingField(field);
    setPendingValue(f, checkedInteger(f, value));
}

void TableStore::SetFieldFloat(const QString& field, double value)
{
    const int f = pendingField(field);
    // Beyond 1e18 a whole number no longer fits 64 bits, so it cannot be a valid integer either.
    const bool integral = m_fields.at(f).kind == FieldKind::SmallInt || m_fields.at(f).kind == FieldKind::Integer;
    if (!std::isfinite(value) || (integral && std::abs(value) > 1e18))
        throw AppError(QStringLiteral("%1 is not a valid value for field \"%2\"").arg(value).arg(m_fields.at(f).name));
    switch (m_fields.at(f).kind) {
    case FieldKind::Float:
        setPendingValue(f, value);
        break;
    case FieldKind::String:
        setPendingValue(f, converted(f, Regional::formatGeneral(value)));
        break;
    default:
        setPendingValue(f, checkedInteger(f, std::llround(value)));
    }
}

QString TableStore::GetFieldText(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    // A walk reads text fields of rows read ahead: straight from their bytes to the text.
    if (!m_pending && m_currentAhead >= 0 && m_fields.at(f).kind == FieldKind::String)
        return m_ahead.text(m_currentAhead, f, m_fields);
    return textOf(f, currentValue(f));
}

double TableStore::GetFieldFloat(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    const QVariant v = currentValue(f);
    if (v.isNull())
        return 0;
    return m_fields.at(f).kind == FieldKind::String ? Regional::parseDecimal(v.toString()) : v.toDouble();
}

qint64 TableStore::GetFieldInteger(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    const QVariant v = currentValue(f);
    if (v.isNull())
        return 0;
    switch (m_fields.at(f).kind) {
    case FieldKind::String:
        return Regional::parseWholeNumber(v.toString());
    case FieldKind::Float:
        return std::llround(v.toDouble());
    default:
        return v.toLongLong();
    }
}
