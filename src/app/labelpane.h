#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class ImageSetDocument;
class PaintableImageView;
class Prompter;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;
class TableModel;
class TileGridDocument;
class multiimagecollectionview;

// The Label pane: its tools (the grid counts and buttons of one image, the label field of
// several pictures) and the work area views of the data being labelled: the tile grid over the
// image, the thumbnail browser and the table. It holds the documents those views show.
class LabelPane : public QObject {
    Q_OBJECT
public:
    // The tools go into `leftView`; views not shown are kept by `parking`.
    LabelPane(TileGridDocument& grid, ImageSetDocument& pictures, Prompter& prompter, QWidget* leftView, QWidget* parking,
              QObject* parent = nullptr);
    ~LabelPane() override;

    TileGridDocument& grid() const { return m_grid; }
    ImageSetDocument& pictures() const { return m_pictures; }
    // The open CSV table, header row first.
    QList<QStringList>& table() { return m_table; }
    const QList<QStringList>& table() const { return m_table; }

    // ---- Tools ------------------------------------------------------------------------------
    QWidget* labelView() const { return m_labelView; }
    QWidget* singleimageview() const { return m_singleimageview; }
    QWidget* multiimageview() const { return m_multiimageview; }
    QLineEdit* gridcol() const { return m_gridcol; }
    QLineEdit* gridrow() const { return m_gridrow; }
    QLabel* labelviewtitle() const { return m_labelviewtitle; }
    QLabel* tilesize() const { return m_tilesize; }
    QLineEdit* imagelabelval() const { return m_imagelabelval; }
    QPushButton* drawgridbutton() const { return m_drawgridbutton; }
    QPushButton* reversebutton() const { return m_reversebutton; }
    QPushButton* imagelabelbutton() const { return m_imagelabelbutton; }

    // ---- Work area ----------------------------------------------------------------------------
    // Black background; holds the tile grid view.
    QWidget* imageview() const { return m_imageview; }
    PaintableImageView* testview() const { return m_testview; }
    QTableView* tableView() const { return m_tableView; }
    TableModel* tablemodel() const { return m_tablemodel; }
    multiimagecollectionview* multiimagecollection() const { return m_multiimagecollection; }

private:
    void buildTools(QWidget* leftView);
    void buildViews(Prompter& prompter, QWidget* parking);

    TileGridDocument& m_grid;
    ImageSetDocument& m_pictures;
    QList<QStringList> m_table;

    QWidget* m_labelView = nullptr;
    QWidget* m_singleimageview = nullptr;
    QWidget* m_multiimageview = nullptr;
    QLineEdit* m_gridcol = nullptr;
    QLineEdit* m_gridrow = nullptr;
    QLabel* m_labelviewtitle = nullptr;
    QLabel* m_tilesize = nullptr;
    QLineEdit* m_imagelabelval = nullptr;
    QPushButton* m_drawgridbutton = nullptr;
    QPushButton* m_reversebutton = nullptr;
    QPushButton* m_imagelabelbutton = nullptr;

    QWidget* m_imageview = nullptr;
    PaintableImageView* m_testview = nullptr;
    QTableView* m_tableView = nullptr;
    TableModel* m_tablemodel = nullptr;
    multiimagecollectionview* m_multiimagecollection = nullptr;
};
