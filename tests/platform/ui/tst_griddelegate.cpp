#include "platform/ui/GridDelegate.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

namespace {

// What the style draws for an item view's cell, with the text isolated as the grid's is: the
// picture the grid's own drawing must give, pixel for pixel.
class StyleDrawn final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!option->text.isEmpty())
            option->text = QChar(0x2068) + option->text + QChar(0x2069);
    }
};

// Texts of every kind a grid shows, in narrow and wide columns, some too long for their cell.
QStandardItemModel* cells(QObject* parent)
{
    const QStringList texts{
        QStringLiteral("12345QW6789E4G"),
        QStringLiteral("غير مستعملة"),
        QStringLiteral("10 Dec 2026"),
        QStringLiteral("-7.5"),
        QStringLiteral("2026/12/10"),
        QStringLiteral("ألعاب PC01"),
        QStringLiteral("<b>PC3</b>"),
        QStringLiteral("a line\nand another"),
        QString(),
        QStringLiteral("a text far too long for the narrow cell it is shown in"),
        QStringLiteral("15"),
        QStringLiteral("أنترنيت"),
        QStringLiteral("0.5"),
    };
    auto* model = new QStandardItemModel(12, 5, parent);
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            auto* item = new QStandardItem(texts.at((row * 5 + column * 3) % texts.size()));
            item->setTextAlignment((column % 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            if (column == 1)
                item->setBackground(QColor(240, 244, 244));
            model->setItem(row, column, item);
        }
    }
    return model;
}

QImage drawn(QWidget& window, QTableView& view, QAbstractItemDelegate* delegate)
{
    view.setItemDelegate(delegate);
    view.viewport()->update();
    QCoreApplication::processEvents();
    return window.grab().toImage();
}

} // namespace

class TestGridDelegate : public QObject
{
    Q_OBJECT
private slots:
    void drawsWhatTheStyleDraws_data();
    void drawsWhatTheStyleDraws();
};

void TestGridDelegate::drawsWhatTheStyleDraws_data()
{
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::addColumn<QString>("styleSheet");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("enabled");
    QTest::addRow("right to left") << Qt::RightToLeft << QString() << false << true;
    QTest::addRow("left to right") << Qt::LeftToRight << QString() << false << true;
    // The card creator's window has a style sheet, which puts another style between.
    QTest::addRow("under a style sheet") << Qt::RightToLeft << QStringLiteral("QGroupBox { margin-top: 6px; }") << false << true;
    QTest::addRow("focused, a cell current") << Qt::RightToLeft << QString() << true << true;
    QTest::addRow("disabled") << Qt::RightToLeft << QString() << false << false;
}

// Every cell, selected or not, current or not, fitting or cut, is drawn as the style would draw
// it; and again the same once its texts are kept.
void TestGridDelegate::drawsWhatTheStyleDraws()
{
    QFETCH(Qt::LayoutDirection, direction);
    QFETCH(QString, styleSheet);
    QFETCH(bool, focused);
    QFETCH(bool, enabled);

    QWidget window;
    window.setLayoutDirection(direction);
    window.setStyleSheet(styleSheet);
    window.setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    window.resize(560, 320);
    QTableView view(&window);
    view.setGeometry(2, 2, 556, 316);
    view.setModel(cells(&view));
    view.setWordWrap(false);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setColumnWidth(0, 93);
    view.setColumnWidth(2, 38);
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 4);
    view.setEnabled(enabled);
    view.selectionModel()->setCurrentIndex(view.model()->index(3, 1),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (focused) {
        window.activateWindow();
        view.setFocus();
        QTRY_VERIFY(view.hasFocus());
    }

    StyleDrawn reference;
    GridDelegate grid;
    const QImage expected = drawn(window, view, &reference);
    const QImage first = drawn(window, view, &grid);
    const QImage again = drawn(window, view, &grid);
    view.setItemDelegate(nullptr);
    if (first != expected) {
        expected.save(QDir::temp().filePath(QStringLiteral("griddelegate-expected.png")));
        first.save(QDir::temp().filePath(QStringLiteral("griddelegate-drawn.png")));
    }
    QVERIFY2(first == expected, "the grid's cells differ from the style's (both saved in the temporary folder)");
    QVERIFY(again == expected);
}

QTEST_MAIN(TestGridDelegate)
#include "tst_griddelegate.moc"
