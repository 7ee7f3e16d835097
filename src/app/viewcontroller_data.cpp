// Data opening, the CSV table and the tile grid.
#include "app/viewcontroller.h"
#include "app/labelpane.h"

#include "dialogs/prompter.h"
#include "data/csvtable.h"
#include "data/dataopening.h"
#include "data/gridcounts.h"
#include "data/imagefile.h"
#include "data/tilegriddocument.h"
#include "data/ui/paintableimageview.h"
#include "data/ui/tablemodel.h"
#include "util/diagnostics.h"
#include "util/textutil.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>

namespace {




void alertWithReason(Prompter& prompter, const QString& message, const QString& reason)
{
    prompter.alert(AlertRequest{message, reason, AlertStyle::Warning, {}, nullptr});
}

// Reads the image; on failure says why and returns a null image.
QImage readImage(Prompter& prompter, const QString& path)
{
    // The tile grid has always worked on the picture as stored, orientation tag or not.
    const imagefile::Loaded loaded = imagefile::read(path, QSize(), false);
    if (loaded.image.isNull())  // also an image of zero width or height
        alertWithReason(prompter, QStringLiteral("Cannot open the image at ") + path, loaded.error);
    return loaded.image;
}



bool showSingleImage(ViewController& c, const QString& path)
{
    const QImage image = readImage(c.prompter(), path);
    if (image.isNull())
        return false;
    c.tileGrid().openImage(path, image);
    c.showTileGridImage();
    return true;
}

// Marks and predictions name tiles of the grid they were made on: on another grid the same
// numbers would cover other pixels. Asks before clearing marks; false when the user keeps them.
bool regridConfirmed(ViewController& c, int cols, int rows)
{
    const int marked = c.tileGrid().marksClearedBy(cols, rows);
    if (marked > 0) {
        const QString message = marked == 1 ? QStringLiteral("Redrawing the grid clears 1 marked tile.")
                                             : QStringLiteral("Redrawing the grid clears %1 marked tiles.").arg(marked);
        const int choice = c.prompter().alert(AlertRequest{message, QStringLiteral("Marks belong to the grid they were made on."),
                                                           AlertStyle::Warning, {QStringLiteral("Cancel"), QStringLiteral("Redraw")}, nullptr});
        if (choice != 1)
            return false;
    }
    return true;
}

}  // namespace

void ViewController::showInLabelPane(QWidget* view) { showInPane(LabelViewBtn, lastlabelview, view); }

void ViewController::restoreOpenData(const OpenData& before)
{
    urlarray = before.urlarray;
    havesingleimg = before.havesingleimg;
    havegridimg = before.havegridimg;
    if (inputdatatype != 0)
        showInLabelPane(lastlabelview);
}

bool ViewController::openFolder(const QString& folder)
{
    const dataopening::FolderScan scan = dataopening::scanFolder(folder);
    if (!scan.listed) {
        prompter().alert(QStringLiteral("Cannot enumerate folder at ") + folder);
        return false;
    }
    diag::print("folder entries", scan.entries);
    diag::print("retained", scan.retained);
    if (scan.retained.isEmpty())
        prompter().alert(QStringLiteral("Need to select image folder"));
    const QDir dir(folder);
    for (const QString& name : scan.retained)
        diag::print(QDir::cleanPath(folder), dir.absolutePath(), dir.absoluteFilePath(name));
    urlarray.append(scan.accepted);
    openMultiImageurl();
    return true;
}

bool ViewController::showTable(const QString& path)
{
    const csvtable::ReadResult read = csvtable::readText(path);
    if (!read.text) {
        diag::line(QStringLiteral("csv reading error"));
        alertWithReason(prompter(), QStringLiteral("Cannot read the table at ") + path, read.error);
        return false;
    }
    m_labelPane->tablemodel()->setRows(csvtable::splitRows(*read.text));
    // One line, however large the table: its contents would flood standard output.
    const int columns = m_labelPane->table().isEmpty() ? 0 : int(m_labelPane->table().front().size());
    diag::print("table data", path, "rows", int(m_labelPane->table().size()), "columns", columns);
    inputdatatype = 3;
    resetImagePanel(QStringLiteral("Label"));
    showInLabelPane(m_labelPane->tableView());
    return true;
}

void ViewController::buildDataViews()
{
    // Without a frame the viewport is exactly the work area, so an image view of that size
    // shows whole, without scroll bars covering its bottom row of tiles.
    scrollview->setFrameShape(QFrame::NoFrame);
}

void ViewController::Opendata()
{
    const OpenData before{urlarray, havesingleimg, havegridimg};
    removesubviews(RightView);
    havesingleimg = false;
    havegridimg = false;
    FileRequest request;
    // Folders and tables are taken too, so the title names them.
    request.title = QStringLiteral("Choose jpg or png images, an image folder or a csv table");
    request.chooseFiles = true;
    request.chooseDirectories = true;
    request.multiple = true;
    const QStringList picked = m_prompter.choosePaths(request);
    if (picked.isEmpty()) {
        restoreOpenData(before);  // a cancelled panel changes nothing
        return;
    }
    // A selection of which nothing opens leaves the open data as it was, so that a wrong pick
    // does not cost the marks or labels made so far.
    bool opened = false;
    urlarray.clear();
    for (const QString& path : picked) {
        const QFileInfo info(path);
        const dataopening::PickedKind kind = dataopening::classifyPicked(path, info.isDir());
        diag::line(dataopening::kindLine(kind));
        switch (kind) {
        case dataopening::PickedKind::Folder:
            opened = openFolder(path) || opened;
            break;
        case dataopening::PickedKind::JpgImage:
        case dataopening::PickedKind::JpegImage:
        case dataopening::PickedKind::PngImage:
            if (kind == dataopening::PickedKind::JpgImage)
                diag::line(info.absoluteFilePath());
            // A file that does not open stays out of the list of inputs.
            urlarray.append(info.absoluteFilePath());
            if (showSingleImage(*this, info.absoluteFilePath()))
                opened = true;
            else
                urlarray.removeLast();
            break;
        case dataopening::PickedKind::Table:
            urlarray.append(info.absoluteFilePath());
            if (showTable(info.absoluteFilePath()))
                opened = true;
            else
                urlarray.removeLast();
            break;
        case dataopening::PickedKind::Rejected:
            m_prompter.alert(QStringLiteral("Please select document in formate of jpg, jpeg, png, and csv"));
            break;
        }
    }
    if (!opened)
        restoreOpenData(before);
    else
        noteDataOpened();
}

void ViewController::opentable(const QString& path) { showTable(path); }

void ViewController::openSingleImageurl(const QString& path) { showSingleImage(*this, path); }

void ViewController::adoptTileGridImage()
{
    urlarray = {m_grid->imagePath()};
    showTileGridImage();
}

void ViewController::drawgrid()
{
    if (singleImage().isNull()) {
        m_prompter.alert(QStringLiteral("Open an image before drawing a grid."));
        return;
    }
    const gridcounts::GridCountsResult read = gridcounts::readGridCounts(m_labelPane->gridcol()->text(), m_labelPane->gridrow()->text(), singleImage().size());
    if (!read.counts) {
        m_prompter.alert(read.error);  // the previous grid stays
        return;
    }
    const gridcounts::GridCounts& counts = *read.counts;
    if (!regridConfirmed(*this, counts.cols, counts.rows))
        return;
    gridnum = counts.gridnum;
    diag::line(QStringLiteral("gridnum = %1").arg(gridnum));
    const QString tile = textutil::sizeText(counts.tileSize.width(), counts.tileSize.height());
    diag::print("tilesizes", tile);
    m_labelPane->tilesize()->setText(QStringLiteral("Tile size: ") + tile);
    m_labelPane->testview()->setFitArea(QSizeF(m_labelPane->imageview()->size()));
    m_grid->drawGrid(counts.cols, counts.rows);
    havegridimg = true;  // marks are kept across grids
}

void ViewController::reversegrid()
{
    m_grid->reverse();
    diag::print(m_grid->state().reversed());
}

void ViewController::showTileGridImage()
{
    const QImage& image = m_grid->image();
    const QString size = textutil::sizeText(image.width(), image.height());
    diag::print("image size:", size);
    resetImagePanel(QStringLiteral("Image size: ") + size);
    const TileGridState& state = m_grid->state();
    if (state.hasGrid() && state.colnum && state.rownum) {
        // A restored grid: the pane shows its counts as if just drawn.
        m_labelPane->gridcol()->setText(QString::number(*state.colnum));
        m_labelPane->gridrow()->setText(QString::number(*state.rownum));
        const gridcounts::GridCountsResult read = gridcounts::readGridCounts(m_labelPane->gridcol()->text(), m_labelPane->gridrow()->text(), image.size());
        if (read.counts) {
            gridnum = read.counts->gridnum;
            m_labelPane->tilesize()->setText(QStringLiteral("Tile size: ") + textutil::sizeText(read.counts->tileSize.width(), read.counts->tileSize.height()));
        }
        havegridimg = true;
    }
    m_labelPane->imageview()->setFixedSize(workAreaSize());
    m_labelPane->testview()->setFitArea(QSizeF(m_labelPane->imageview()->size()));
    m_labelPane->testview()->show();
    inputdatatype = 1;
    havesingleimg = true;
    showInLabelPane(m_labelPane->imageview());
}

void ViewController::resetImagePanel(const QString& title)
{
    // New data has no grid yet: the pane shows no counts or tile size of an earlier image.
    m_labelPane->labelviewtitle()->setText(title);
    m_labelPane->tilesize()->setText(QStringLiteral("Tile size: "));
    m_labelPane->gridcol()->setText(QStringLiteral("10"));
    m_labelPane->gridrow()->setText(QStringLiteral("10"));
    gridnum = 0;
}
