#include "app/labelpane.h"

#include "app/panelayout.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/paintableimageview.h"
#include "data/ui/tablemodel.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

using framing::placeBL;
using panelayout::caption;

LabelPane::LabelPane(TileGridDocument& grid, ImageSetDocument& pictures, Prompter& prompter, QWidget* leftView,
                     QWidget* parking, QObject* parent)
    : QObject(parent), m_grid(grid), m_pictures(pictures)
{
    buildTools(leftView);
    buildViews(prompter, parking);
}

// The views read the documents, which may go first when the window closes.
LabelPane::~LabelPane()
{
    delete m_multiimagecollection;
    delete m_testview;
}

void LabelPane::buildTools(QWidget* leftView)
{
    m_labelView = panelayout::pane(leftView, QStringLiteral("labelView"));

    m_singleimageview = panelayout::panel(m_labelView, QStringLiteral("singleimageview"), 0, 350, 200, 200);
    m_gridcol = framing::field(QStringLiteral("10"), nullptr, QStringLiteral("Col"));
    m_gridrow = framing::field(QStringLiteral("10"), nullptr, QStringLiteral("Row"));
    caption(QStringLiteral("Col"), m_singleimageview, 10, 150, 40, 20);
    placeBL(m_gridcol, m_singleimageview, 50, 150, 50, 20);
    caption(QStringLiteral("Row"), m_singleimageview, 10, 120, 40, 20);
    placeBL(m_gridrow, m_singleimageview, 50, 120, 50, 20);
    m_labelviewtitle = caption(QStringLiteral("Label"), m_singleimageview, 10, 180, 200, 20);
    m_drawgridbutton = framing::button(QStringLiteral("Draw Grid!"), nullptr);
    placeBL(m_drawgridbutton, m_singleimageview, 30, 90, 100, 20);
    m_tilesize = caption(QStringLiteral("Tile size: "), m_singleimageview, 10, 30, 200, 20);
    m_reversebutton = framing::button(QStringLiteral("Reverse!"), nullptr);
    placeBL(m_reversebutton, m_singleimageview, 30, 60, 100, 20);
    // These two change with the image and the grid: assistive tools read their current text.
    m_labelviewtitle->setAccessibleName(QString());
    m_tilesize->setAccessibleName(QString());

    m_multiimageview = panelayout::panel(m_labelView, QStringLiteral("multiimageview"), 0, 200, 200, 200);
    caption(QStringLiteral("Selected image label:"), m_multiimageview, 10, 150, 150, 20);
    m_imagelabelval = framing::field(QStringLiteral("0"), nullptr, QStringLiteral("Selected image label"));
    placeBL(m_imagelabelval, m_multiimageview, 150, 150, 20, 20);
    m_imagelabelbutton = framing::button(QStringLiteral("Label Images!"), nullptr);
    placeBL(m_imagelabelbutton, m_multiimageview, 30, 120, 100, 20);
    // The two panels overlap; each takes the pointer only over its own controls, so that the
    // empty part of one never covers a control of the other ("Selected image label" lies under
    // the single-image panel's empty bottom).
    for (QWidget* panel : {m_singleimageview, m_multiimageview})
        panel->setMask(panel->childrenRegion());
}

void LabelPane::buildViews(Prompter& prompter, QWidget* parking)
{
    m_imageview = new QWidget(parking);
    m_imageview->setObjectName(QStringLiteral("imageview"));
    m_imageview->setAutoFillBackground(true);
    QPalette black = m_imageview->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_imageview->setPalette(black);
    auto* imageLayout = new QVBoxLayout(m_imageview);  // the tile grid view fills the image view
    imageLayout->setContentsMargins(0, 0, 0, 0);
    m_testview = new PaintableImageView(m_grid, m_imageview);
    imageLayout->addWidget(m_testview);
    m_testview->hide();

    m_tableView = new QTableView(parking);
    m_tableView->setObjectName(QStringLiteral("tableView"));
    m_tableView->setAccessibleName(QStringLiteral("Table"));
    m_tablemodel = new TableModel(m_table, prompter, m_tableView);
    m_tableView->setModel(m_tablemodel);
    m_tableView->horizontalHeader()->setMinimumSectionSize(100);
    m_tableView->horizontalHeader()->setDefaultSectionSize(100);
    m_tableView->hide();

    m_multiimagecollection = new multiimagecollectionview(m_pictures, parking);
    m_multiimagecollection->hide();
}
