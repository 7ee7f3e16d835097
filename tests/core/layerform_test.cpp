#include "model/layerform.h"

#include <gtest/gtest.h>

using layerform::Row;
using layerform::RowKind;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

Json residualLayer(int i)
{
    const ParseOutcome read = archdoc::readFile(QStringLiteral(KOLVARA_TEST_DATA_DIR "/model/residual.json"));
    return read.json.value_or(Json())["config"]["layers"][i];
}

// "title:tag:editable=values" per row, for compact expectations.
QStringList describe(const QList<Row>& rows)
{
    QStringList out;
    for (const Row& r : rows)
        out << QStringLiteral("%1:%2:%3=%4").arg(r.title).arg(r.tag).arg(r.editable ? "rw" : "ro", r.values.join(','));
    return out;
}

struct FormCase {
    const char* label;
    Json layer;
    bool customized;
    QStringList rows;
};

class PanelRows : public ::testing::TestWithParam<FormCase> {};

TEST_P(PanelRows, FollowTheConfigMembersInOrder)
{
    EXPECT_EQ(describe(layerform::rows(GetParam().layer, GetParam().customized)), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Layers, PanelRows,
    ::testing::Values(
        FormCase{"input_layer", residualLayer(0), true,
                 {"Name:100:rw=input_1", "Inputsize:50:rw=224,224,3", "Input:200:ro="}},
        FormCase{"zero_padding_array", residualLayer(1), true,
                 {"Name:100:rw=conv1_pad", "trainable:1:rw=true", "padding:40:rw=3,3,3,3", "Input:200:rw=input_1"}},
        FormCase{"conv_pretrained", residualLayer(2), false,
                 {"Name:100:ro=conv1_conv", "trainable:1:rw=true", "filters:6:ro=64", "kernel_size:10:ro=7,7",
                  "strides:20:ro=2,2", "padding:5:ro=valid", "dilation_rate:30:ro=1,1", "activation:4:ro=linear",
                  "Input:200:ro=conv1_pad"}},
        FormCase{"batch_normalization_custom", residualLayer(3), true,
                 {"Name:100:rw=conv1_bn", "trainable:1:rw=true", "momentum:7:rw=0.99", "epsilon:8:rw=1.001e-05",
                  "center:2:rw=true", "scale:3:rw=true", "Input:200:rw=conv1_conv"}},
        FormCase{"add_two_inputs", residualLayer(5), true,
                 {"Name:100:rw=add_1", "trainable:1:rw=true", "Input:200:rw=conv1_relu,conv1_pad"}},
        FormCase{"predictions_pretrained_units_editable", residualLayer(7), false,
                 {"Name:100:ro=predictions", "trainable:1:rw=true", "units:9:rw=1000", "activation:4:ro=softmax",
                  "Input:200:ro=avg_pool"}},
        FormCase{"mismatched_types_add_no_row",
                 Json::parse(R"({"name":"d","class_name":"Dense","config":{"units":"10","trainable":"yes",
                     "kernel_size":[3],"strides":5,"padding":[[1,1]],"momentum":null,"activation":3,"center":1},
                     "inbound_nodes":[[["x",0,0,{}]]]})"),
                 true, {"Name:100:rw=d", "Input:200:rw=x"}},
        FormCase{"empty_config", Json::parse(R"({"name":"e","config":{},"inbound_nodes":[]})"), true,
                 {"Name:100:rw=e", "Input:200:rw="}},
        FormCase{"no_name_no_inbound_array", Json::parse(R"({"name":5,"config":{"filters":8.0},"inbound_nodes":{}})"),
                 true, {"filters:6:rw=8"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PanelRows, NumbersShowWholeValuesWithoutFraction)
{
    EXPECT_EQ(layerform::integerText(Json(10.0)), "10");
    EXPECT_EQ(layerform::integerText(Json(10.5)), "10.5");  // shown as stored, never truncated
    EXPECT_EQ(layerform::integerText(Json(-3)), "-3");
    EXPECT_EQ(layerform::integerText(Json(nullptr)), "");
    EXPECT_EQ(layerform::numberText(Json(0.1)), "0.1");
    EXPECT_EQ(layerform::numberText(Json(1)), "1");
    // Whatever the panel shows for a number reads back as the same number.
    for (double v : {0.99, 1.001e-05, 1e-7, 123456.789, 0.1 + 0.2})
        EXPECT_EQ(layerform::numberText(Json(v)).toDouble(), v);
}

}  // namespace
