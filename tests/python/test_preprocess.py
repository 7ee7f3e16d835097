"""From an image file to the network's input: geometry from the input shape, the five input
scalings, and the rules that name a model's outputs."""
import numpy as np
import pytest
import torch
from PIL import Image

from kolvara_nn.training.data import check_images, load_images
from kolvara_nn.training.preprocess import (SORTED_NOTE, check_scaling, input_spec,
                                            output_classes, parse_class_names, scale, to_input)


def _images(folder):
    Image.new("L", (8, 4), 200).save(folder / "gray.png")
    Image.new("RGBA", (8, 4), (10, 20, 30, 0)).save(folder / "rgba.png")
    Image.new("P", (8, 4)).save(folder / "pal.png")
    return ["gray.png", "rgba.png", "pal.png"]


@pytest.mark.parametrize("shape, batch, first_pixel", [
    ((6, 5, 3), (3, 6, 5, 3), [200, 200, 200]),   # grey becomes RGB, resized to the input
    ((6, 5, 1), (3, 6, 5, 1), [200]),
    ((6, 5), (3, 6, 5), 200),                      # no channel axis: grey, and the axis goes
    ((None, None, 3), (3, 4, 8, 3), [200, 200, 200]),  # images keep their shared size
])
def test_images_take_the_networks_geometry(tmp_path, shape, batch, first_pixel):
    spec = input_spec(shape)
    pixels = load_images(tmp_path, _images(tmp_path), spec)
    x = scale(pixels, "raw", spec)
    assert tuple(x.shape) == batch and x.dtype == torch.float32
    assert x[0, 0, 0].tolist() == first_pixel
    # the per-image function gives what the batch gives
    with Image.open(tmp_path / "rgba.png") as img:
        assert torch.equal(to_input(img, spec, "raw"), x[1])


def test_sizes_that_cannot_be_batched_or_are_no_image_are_refused(tmp_path):
    Image.new("RGB", (8, 4)).save(tmp_path / "a.png")
    Image.new("RGB", (6, 6)).save(tmp_path / "b.png")
    with pytest.raises(ValueError, match=r"a.png is 8x4 and b.png is 6x6"):
        load_images(tmp_path, ["a.png", "b.png"], input_spec((None, None, 3)))
    (tmp_path / "empty.png").write_bytes(b"")
    with pytest.raises(ValueError, match="empty.png could not be loaded"):
        check_images(tmp_path, ["a.png", "empty.png"], input_spec((4, 4, 3)))
    for shape in [(784,), (1, 28, 28), (28, 28, 4)]:
        with pytest.raises(ValueError, match="is not an image"):
            input_spec(shape)


# One RGB pixel (255, 128, 0) through each mode, worked out from Keras's preprocess_input.
@pytest.mark.parametrize("mode, expected", [
    ("div255", [1.0, 128 / 255, 0.0]),
    ("raw", [255.0, 128.0, 0.0]),
    ("tf", [1.0, 128 / 127.5 - 1, -1.0]),
    ("torch", [(1 - 0.485) / 0.229, (128 / 255 - 0.456) / 0.224, -0.406 / 0.225]),
    ("caffe", [0 - 103.939, 128 - 116.779, 255 - 123.68]),  # BGR
])
def test_scalings(mode, expected):
    spec = input_spec((1, 1, 3))
    x = scale(torch.tensor([[[255, 128, 0]]], dtype=torch.uint8), mode, spec)
    np.testing.assert_allclose(x[0, 0].numpy(), expected, rtol=1e-6, atol=1e-6)


def test_imagenet_modes_need_colour():
    check_scaling("tf", input_spec((28, 28)))
    for mode in ("torch", "caffe"):
        with pytest.raises(ValueError, match="defined for RGB images"):
            check_scaling(mode, input_spec((28, 28, 1)))


FASHION = ["T-shirt", "Trouser", "Pullover"]


@pytest.mark.parametrize("units, labels, given, stored, names, note", [
    (3, ["Trouser", "Pullover"], (), FASHION, FASHION, ""),               # stored names
    (3, ["Trouser"], tuple(FASHION), None, FASHION, ""),                 # given names
    (3, ["Trouser"], tuple(FASHION), ["a", "b", "c"], FASHION, ""),      # given beat stored
    (10, ["7", "2", "0"], (), None, [str(i) for i in range(10)], ""),    # output indices
    (3, ["T-shirt", "Trouser", "Pullover"], (), None, ["Pullover", "T-shirt", "Trouser"], SORTED_NOTE),
    (3, ["b", "B", "a"], (), None, ["B", "a", "b"], SORTED_NOTE),        # as text, capitals first
    (3, ["12", "3", "7"], (), None, ["3", "7", "12"], SORTED_NOTE),      # numbers, not indices
    (3, ["cat", "dog"], (), None, ["0", "1", "2"], "class names unknown"),
])
def test_output_names(units, labels, given, stored, names, note):
    order = output_classes(units, labels, given, stored)
    assert order.names == names
    assert order.note.startswith(note) and bool(order.note) == bool(note)


def test_class_names_that_cannot_name_the_outputs():
    for text, message in [("a,,b", "empty name"), ("a,b,a", "'a' is given twice")]:
        with pytest.raises(ValueError, match=message):
            parse_class_names(text)
    with pytest.raises(ValueError, match="2 class names are given but the model has 3 outputs"):
        output_classes(3, ["a"], ("a", "b"))
