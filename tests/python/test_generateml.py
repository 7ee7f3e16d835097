"""generateml.py: the summary the application shows, and one stderr line per problem."""
import fnmatch
import json

import pytest

import generateml
from conftest import ROOT


def run_main(capsys, *argv):
    code = generateml.main(list(argv))
    out, err = capsys.readouterr()
    return code, out.splitlines(), err.splitlines()


def test_summary_of_the_custom_model(capsys):
    code, out, err = run_main(capsys, str(ROOT / "resources" / "custommodel.json"))
    assert (code, err) == (0, [])
    assert out[0] == 'Model: "custommodel"'
    rows = {line.split()[0]: line for line in out[4:] if line.strip() and not line.startswith(("=", "_"))}
    assert "[(None, 32, 32, 3)]" in rows["input_1"] and "[]" in rows["input_1"]
    assert "(None, 32, 32, 32)" in rows["block1_conv1"] and " 896 " in rows["block1_conv1"]
    assert "['input_1[0][0]']" in rows["block1_conv1"]
    assert "(None, 2)" in rows["predictions"] and "['dropout[0][0]']" in rows["predictions"]
    assert out[-4:-1] == ["Total params: 590,242", "Trainable params: 590,242", "Non-trainable params: 0"]


def _broken_custom_model(p):
    doc = json.loads((ROOT / "resources" / "custommodel.json").read_text())
    doc["config"]["layers"][2]["class_name"] = "Lambda"
    doc["config"]["layers"][5]["inbound_nodes"][0][0][0] = "block1_pool_renamed"
    (p / "custommodel_temp.json").write_text(json.dumps(doc, separators=(",", ":")))
    return p / "custommodel_temp.json"


@pytest.mark.parametrize("setup,expected", [  # unreadable JSON and bad shapes: test_robustness, test_network
    (_broken_custom_model, ["generateml.py: layer 'block1_conv2': Lambda layers run Python code stored in the model and are refused",
                            "generateml.py: layer 'block2_conv2': inbound layer 'block1_pool_renamed' does not exist"]),
    (lambda p: p / "absent.json", ["generateml.py: *absent.json: cannot read the model document*"]),
    (lambda p: None, ["generateml.py: usage: generateml.py MODEL_JSON"]),
])
def test_invalid_documents_fail_with_one_line_per_problem(capsys, tmp_path, setup, expected):
    path = setup(tmp_path)
    code, out, err = run_main(capsys, *([str(path)] if path else []))
    assert (code, out, len(err)) == (1, [], len(expected))
    assert all(fnmatch.fnmatchcase(line, want) for line, want in zip(err, expected)), err
