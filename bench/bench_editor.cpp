// Loading a very long architecture (thousands of layers) into the layer graph editor, scrolling
// it and selecting its last layer, next to a bare QListView showing as many text items.
#include "benchwindow.h"
#include "model/ui/nodecollection.h"
#include "model/ui/nodecollectionview.h"
#include "util/diagnostics.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QMainWindow>
#include <QScrollBar>
#include <QStringListModel>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {
using bench::msSince;

constexpr int kRuns = 3;

nlohmann::ordered_json layer(const std::string& cls, const std::string& name, const std::string& inbound)
{
    nlohmann::ordered_json rec = {{"class_name", cls}, {"name", name}, {"config", {{"name", name}}}};
    rec["config"]["units"] = 4;
    rec["config"]["activation"] = "relu";
    rec["inbound_nodes"] = nlohmann::ordered_json::array();
    if (!inbound.empty())
        rec["inbound_nodes"].push_back({{inbound, 0, 0, nlohmann::ordered_json::object()}});
    return rec;
}

// Input, a chain of `count` Dense layers and the output, as a file.
QString longModel(int count)
{
    nlohmann::ordered_json layers = nlohmann::ordered_json::array();
    nlohmann::ordered_json input = layer("InputLayer", "input_1", "");
    input["config"] = {{"batch_input_shape", {nullptr, 8, 8, 3}}, {"name", "input_1"}};
    layers.push_back(input);
    std::string previous = "input_1";
    for (int i = 0; i < count; ++i) {
        const std::string name = "dense_" + std::to_string(i);
        layers.push_back(layer("Dense", name, previous));
        previous = name;
    }
    layers.push_back(layer("Dense", "predictions", previous));
    const nlohmann::ordered_json doc = {{"class_name", "Functional"}, {"config", {{"name", "long"}, {"layers", layers}}}};
    const QString path = QDir::tempPath() + QStringLiteral("/kolvara-bench-editor-%1.json").arg(count);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray::fromStdString(doc.dump()));
    return path;
}

struct Figures {
    double load = 1e300;     // loadmodeljson and the first painted screen, into a fresh editor
    double reload = 1e300;   // the same again, over the editor showing it already
    double bottom = 1e300;   // scroll to the last node and paint
    double select = 1e300;   // select the last node (its panel opens) and paint
    double repaint = 1e300;  // one more paint of the screen
};

// Times `step` followed by a full paint of the window.
template <typename Step>
double timed(QWidget& window, Step step)
{
    QElapsedTimer t;
    t.start();
    step();
    QApplication::processEvents();  // delayed layouts (the peer's) run before the paint
    (void)window.grab();
    return msSince(t);
}

void measureOurs(const QString& path, int count, Figures& f)
{
    bench::Window shown;
    QMainWindow& window = shown.window;
    ViewController* c = shown.controller;

    f.load = std::min(f.load, timed(window, [&] { c->loadmodeljson(path); }));
    f.reload = std::min(f.reload, timed(window, [&] { c->loadmodeljson(path); }));
    nodecollectionview* view = c->trainPane().nodecollectionView()->collectionView;
    if (view->numberOfItems() != count + 2 || !view->isVisible())
        std::printf("wrong node count %d or editor not shown\n", view->numberOfItems());
    f.bottom = std::min(f.bottom, timed(window, [&] { view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum()); }));
    f.select = std::min(f.select, timed(window, [&] { view->clickItem(count + 1); }));
    f.repaint = std::min(f.repaint, timed(window, [] {}));
}

double measurePeer(int count)
{
    QStringList names;
    for (int i = 0; i < count + 2; ++i)
        names << QStringLiteral("Name: dense_%1\nClass: Dense\nInput: dense_%2").arg(i).arg(i - 1);
    QMainWindow window;
    window.resize(1200, 800);
    window.show();
    QApplication::processEvents();
    return timed(window, [&] {
        auto* list = new QListView;
        list->setModel(new QStringListModel(names, list));
        list->setUniformItemSizes(true);
        window.setCentralWidget(list);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    bench::preferOffscreen();
    QApplication app(argc, argv);
    diag::setEnabled(false);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const QString path = longModel(count);

    Figures ours;
    double peer = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        measureOurs(path, count, ours);
        peer = std::min(peer, measurePeer(count));
    }
    std::printf("layer graph editor, %d layers, window 1200 x 800, offscreen; best of %d runs\n", count + 2, kRuns);
    std::printf("  load + first paint        %9.1f ms   peer (bare QListView) %8.1f ms   ratio %6.2fx  (target < 3 s)\n",
                ours.load, peer, ours.load / peer);
    std::printf("  load again over itself    %9.1f ms   ratio %6.2fx  (target < 3 s)\n", ours.reload, ours.reload / peer);
    std::printf("  scroll to the end + paint %9.1f ms   (target < 100 ms)\n", ours.bottom);
    std::printf("  select the last layer     %9.1f ms   (target < 100 ms)\n", ours.select);
    std::printf("  repaint                   %9.1f ms   (target < 16 ms)\n", ours.repaint);
    QFile::remove(path);
    return 0;
}
