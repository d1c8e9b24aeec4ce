#pragma once

// What the parts of the table store share; not for the store's users.

#include "platform/store/TableStore.h"

namespace TableStorePrivate {

using Sqlite::quoted;

inline bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.toString() == b.toString();
}

} // namespace TableStorePrivate

template <typename F>
auto TableStore::guarded(F&& body) const -> decltype(body())
{
    try {
        return body();
    } catch (const Sqlite::Failure& failure) {
        rethrow(failure);
    }
}

template <typename MakeSql>
Sqlite::Statement& TableStore::statement(const QByteArray& shape, MakeSql&& makeSql) const
{
    auto it = m_statements.find(shape);
    if (it == m_statements.end())
        it = m_statements.try_emplace(shape, m_db.get(), makeSql()).first;
    return it->second;
}
