// The stream information window of one file.
#include "ui/tools/page1.h"

#include "base/Texts.h"
#include "tools/StreamInfo.h"
#include "tools/ToolRunner.h"
#include "ui/tools/ToolStyle.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

page1::page1(const QString& title, const QString& format, const QString& path, QWidget* parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("page1"));
    setWindowTitle(tx(u"Media Analyzer"));
    setModal(true);

    m_tree->setObjectName(QStringLiteral("streamTree"));
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setIndentation(18);
    m_tree->header()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);

    auto* root = new QTreeWidgetItem(m_tree, {StreamInfo::rootText(title, format)});
    QFont bold = root->font(0);
    bold.setBold(true);
    root->setFont(0, bold);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString output = path.isEmpty() ? QString() : ToolRunner::runTool(StreamInfo::command(path));
    QApplication::restoreOverrideCursor();

    for (const StreamInfo::Shown& stream : StreamInfo::parse(output)) {
        auto* item = new QTreeWidgetItem(root, {stream.heading});
        item->setFont(0, bold);
        for (const QString& row : stream.rows)
            new QTreeWidgetItem(item, {row});
        item->setExpanded(true);
    }
    root->setExpanded(true);
    m_tree->setCurrentItem(nullptr);

    // Wide enough for the longest row (codec names can be long), within reason.
    m_tree->header()->setStretchLastSection(false);
    m_tree->resizeColumnToContents(0);
    const int width = m_tree->columnWidth(0) + 60;
    m_tree->header()->setStretchLastSection(true);
    resize(std::clamp(width, 480, 900), 480);
    ToolStyle::followPalette(this);
}

page1::~page1() = default;
