// Any bytes as an old Paradox table: refused with a reason, or read into rows whose values match
// the declared fields. A hang shows as libFuzzer's timeout, an overread as AddressSanitizer's.

#include "FuzzCommon.h"

#include "platform/AppError.h"
#include "platform/formats/ParadoxTable.h"

#include <QFileInfo>

static QString g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_path = Fuzz::makePrefix() + QStringLiteral("/table.db");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::writeFile(g_path, data, size);
    try {
        ParadoxTable table(g_path);
        const QList<ParadoxTable::Field>& fields = table.fields();
        FUZZ_CHECK(!fields.isEmpty());
        FUZZ_CHECK(table.rowCount() >= 0);
        QList<QVariant> values;
        for (int row = 0; row < table.rowCount(); ++row) {
            table.readRow(row, values);
            FUZZ_CHECK(values.size() == fields.size());
            for (qsizetype i = 0; i < fields.size(); ++i) {
                const QVariant& v = values.at(i);
                if (v.isNull())
                    continue;
                switch (fields.at(i).type) {
                case ParadoxTable::Type::Alpha:
                    FUZZ_CHECK(v.typeId() == QMetaType::QString);
                    FUZZ_CHECK(v.toString().size() <= fields.at(i).size);
                    break;
                case ParadoxTable::Type::Short:
                case ParadoxTable::Type::Long:
                case ParadoxTable::Type::AutoInc:
                    FUZZ_CHECK(v.typeId() == QMetaType::LongLong);
                    break;
                case ParadoxTable::Type::Number:
                case ParadoxTable::Type::Currency:
                    FUZZ_CHECK(v.typeId() == QMetaType::Double);
                    break;
                case ParadoxTable::Type::Other:
                    break;
                }
            }
        }
    } catch (const AppError& error) {
        // A refusal names the file and says why.
        FUZZ_CHECK(error.text().contains(QStringLiteral("table.db")));
    }
    return 0;
}
