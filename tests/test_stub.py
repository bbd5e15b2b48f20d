"""The type stub `_tolm.pyi` describes exactly what the module publishes."""

import ast
import inspect
import pathlib

import _tolm

STUB = pathlib.Path(__file__).resolve().parents[1] / "stubs" / "_tolm.pyi"


def stub_tree():
    return ast.parse(STUB.read_text())


def published_in_stub(tree):
    names = []
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)) and node.name != "InternalError":
            names.append(node.name)
    return names


def test_stub_lists_exactly_the_published_names_in_order():
    assert published_in_stub(stub_tree()) == list(_tolm.__all__)


def parameters(node):
    args = node.args
    names = [a.arg for a in args.args]
    defaults = [None] * (len(names) - len(args.defaults)) + [ast.literal_eval(d)
                                                             for d in args.defaults]
    return list(zip(names, defaults))


def test_function_parameters_match_the_module():
    for node in stub_tree().body:
        if not isinstance(node, ast.FunctionDef):
            continue
        signature = inspect.signature(getattr(_tolm, node.name))
        actual = [(p.name, None if p.default is inspect.Parameter.empty else p.default)
                  for p in signature.parameters.values()]
        assert parameters(node) == actual, node.name


def test_method_parameters_match_the_class():
    (program,) = [n for n in stub_tree().body if isinstance(n, ast.ClassDef) and n.name == "Program"]
    stub_methods = {n.name: n for n in program.body if isinstance(n, ast.FunctionDef)}
    public = {name for name in dir(_tolm.Program) if not name.startswith("_")}
    assert set(stub_methods) - {"__len__"} == public
    for name, node in stub_methods.items():
        if name == "resolution_um" or name.startswith("__"):
            continue
        signature = inspect.signature(getattr(_tolm.Program, name))
        actual = [(p.name, None if p.default is inspect.Parameter.empty else p.default)
                  for p in signature.parameters.values()]
        expected = parameters(node)
        if expected and expected[0][0] == "self":
            expected = expected[1:]
            if actual and actual[0][0] == "self":
                actual = actual[1:]
        assert expected == actual, name
