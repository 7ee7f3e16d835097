// The thumbnail browser of a multi-image input.
#include "app/viewcontroller.h"

#include "data/ui/multiimagecollectionview.h"
#include "util/diagnostics.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>

void ViewController::buildBrowserViews()
{
    multiimagecollection = new multiimagecollectionview(browsermodel, m_parking);
    multiimagecollection->hide();
}

void ViewController::reloadMultiImageBrowser()
{
    multiimagecollection->update();
    multiimagecollection->reload();
}

void ViewController::openMultiImageurl()
{
    scrollview->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollview->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    browsermodel.haspredict = false;
    browsermodel.urlarray = urlarray;

    // The grid first: it starts decoding the first screen's thumbnails in the background, which
    // then overlaps with labelling every image below.
    multiimagecollection->resize(workAreaSize());
    multiimagecollection->commoninit();
    browsermodel.data.reserve(browsermodel.data.size() + urlarray.size());
    for (const QString& path : urlarray)
        browsermodel.data.insert(imageset::storedName(path), QStringLiteral("0"));
    multiimagecollection->update();
    setDocumentView(multiimagecollection);

    lastlabelview = multiimagecollection;
    inputdatatype = 2;
    LabelViewBtn->setEnabled(true);
    // Turning the label pane on shows the label tools with the browser as the work area.
    LabelViewBtn->setChecked(true);
}

void ViewController::labelmultiimage()
{
    diag::print("going to change image labels");
    if (multiimagecollection->selsectedimage.isEmpty())
        return;
    multiimagecollection->labelSelected(imagelabelval->text());
}
