"""Keras architecture out of a TensorFlow SavedModel folder, without protobuf libraries.

Only the protobuf wire format is needed: the architecture is a JSON string inside
`keras_metadata.pb` (TF >= 2.5) or, for older folders, inside `saved_model.pb`.
"""
import json
import os

from .errors import ModelError

# Field numbers of the messages walked here.
_METADATA_NODES = 1                      # SavedMetadata.nodes
_NODE_PATH, _NODE_IDENTIFIER, _NODE_METADATA = 3, 4, 5   # keras SavedObject
_SM_META_GRAPHS = 2                      # SavedModel.meta_graphs
_MG_OBJECT_GRAPH = 7                     # MetaGraphDef.object_graph_def
_OG_NODES = 1                            # SavedObjectGraph.nodes
_SO_USER_OBJECT = 4                      # SavedObject.user_object
_UO_IDENTIFIER, _UO_METADATA = 1, 3      # SavedUserObject

_MODEL_IDENTIFIERS = ("_tf_keras_network", "_tf_keras_sequential", "_tf_keras_model")


def _varint(buf, pos):
    result = 0
    shift = 0
    while True:
        if pos >= len(buf):
            raise ValueError("truncated varint")
        byte = buf[pos]
        pos += 1
        result |= (byte & 0x7F) << shift
        if not byte & 0x80:
            return result, pos
        shift += 7
        if shift > 63:
            raise ValueError("varint too long")


def iter_fields(buf):
    """Yield (field_number, wire_type, value) for every field of one message.

    value is an int for varints and a memoryview for the other wire types. Raises ValueError
    on bytes that are not a well-formed message.
    """
    buf = memoryview(buf)
    pos, end = 0, len(buf)
    while pos < end:
        key, pos = _varint(buf, pos)
        field, wire = key >> 3, key & 7
        if wire == 0:
            value, pos = _varint(buf, pos)
        elif wire == 2:
            length, pos = _varint(buf, pos)
            value, pos = buf[pos:pos + length], pos + length
        elif wire in (1, 5):
            size = 8 if wire == 1 else 4
            value, pos = buf[pos:pos + size], pos + size
        else:
            raise ValueError("unsupported wire type %d" % wire)
        if pos > end or field == 0:
            raise ValueError("truncated or malformed message")
        yield field, wire, value


def _first(buf, field, wire=2):
    for number, kind, value in iter_fields(buf):
        if number == field and kind == wire:
            return value
    return None


def _text(value):
    return bytes(value).decode("utf-8") if value is not None else ""


def metadata_nodes(data):
    """The (node_path, identifier, metadata_json_text) triples of a keras_metadata.pb."""
    nodes = []
    for field, wire, value in iter_fields(data):
        if field != _METADATA_NODES or wire != 2:
            continue
        found = {_NODE_PATH: None, _NODE_IDENTIFIER: None, _NODE_METADATA: None}
        for number, kind, inner in iter_fields(value):
            if number in found and kind == 2:
                found[number] = inner
        nodes.append(tuple(_text(found[k]) for k in (_NODE_PATH, _NODE_IDENTIFIER,
                                                      _NODE_METADATA)))
    return nodes


def _root_user_object(data):
    """(identifier, metadata) of object 0 of the first meta graph in saved_model.pb."""
    graph = _first(data, _SM_META_GRAPHS)
    objects = _first(graph, _MG_OBJECT_GRAPH) if graph is not None else None
    root = _first(objects, _OG_NODES) if objects is not None else None
    user = _first(root, _SO_USER_OBJECT) if root is not None else None
    if user is None:
        return "", ""
    return _text(_first(user, _UO_IDENTIFIER)), _text(_first(user, _UO_METADATA))


def document_from_metadata(identifier, text, source):
    """The to_json()-shaped document out of the root object's metadata JSON."""
    if identifier and identifier not in _MODEL_IDENTIFIERS:
        raise ModelError("%s: the root object is not a Keras model (%s)" % (source, identifier))
    try:
        meta = json.loads(text)
    except (ValueError, RecursionError) as exc:
        raise ModelError("%s: the Keras metadata is not valid JSON (%s)" % (source, exc))
    model = meta.get("model_config") if isinstance(meta, dict) else None
    if not isinstance(model, dict):
        model = meta if isinstance(meta, dict) and "config" in meta else None
    config = model.get("config") if model else None
    if not isinstance(config, (dict, list)) or not config:
        kind = "a subclassed model" if identifier == "_tf_keras_model" else "this model"
        raise ModelError("%s: no architecture stored for %s" % (source, kind))
    doc = {"class_name": model.get("class_name", meta.get("class_name")), "config": config}
    for key in ("keras_version", "backend"):
        if key in meta:
            doc[key] = meta[key]
    return doc


def read_keras_metadata(path):
    """Architecture document out of a keras_metadata.pb file."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        nodes = metadata_nodes(data)
    except ValueError as exc:
        raise ModelError("%s: not a readable keras_metadata.pb (%s)" % (path, exc))
    root = [n for n in nodes if n[0] == "root"] or nodes[:1]
    if not root:
        raise ModelError("%s: keras_metadata.pb holds no Keras objects" % path)
    return document_from_metadata(root[0][1], root[0][2], path)


def read_saved_model(folder):
    """Architecture document of a SavedModel folder."""
    metadata = os.path.join(folder, "keras_metadata.pb")
    if os.path.isfile(metadata):
        return read_keras_metadata(metadata)
    graph = os.path.join(folder, "saved_model.pb")
    with open(graph, "rb") as f:
        data = f.read()
    try:
        identifier, text = _root_user_object(data)
    except ValueError as exc:
        raise ModelError("%s: not a readable saved_model.pb (%s)" % (graph, exc))
    if not text:
        raise ModelError("%s: SavedModel without Keras metadata (not saved by Keras), "
                         "no architecture to load" % folder)
    return document_from_metadata(identifier, text, graph)
