"""Lowering high-level programs to move plans, and the built-in demo square."""

import json
import math

import pytest

import _tolm

HI_PREFIX = (
    "expected a HIGH-LEVEL program JSON (layers of regions with fills, e.g. from demo_square_json()); "
)

SQUARE = [[0, 0], [20000, 0], [20000, 20000], [0, 20000], [0, 0]]


def pts(coords):
    return {"points": [{"x": x, "y": y} for x, y in coords]}


def fill(coords, width=400):
    return {"path": pts(coords), "width_um": width}


def region(fills, kind="Perimeter"):
    return {"kind": kind, "boundary": {"outer": pts([]), "holes": []}, "fills": fills}


def hi(*layers):
    return json.dumps({"layers": [{"z_um": z, "regions": regions} for z, regions in layers]})


def lowered(hi_json):
    return json.loads(_tolm.lower_to_json(hi_json))


def extrude(coords, role="Perimeter", width=400):
    return {"kind": {"Extrude": role}, "path": pts(coords), "width_um": width}


def travel(a, b):
    return {"kind": "Travel", "path": pts([a, b]), "width_um": 0}


def test_demo_square_json_is_the_template():
    program = json.loads(_tolm.demo_square_json())
    square = pts(SQUARE)
    assert program == {
        "layers": [
            {
                "z_um": 200,
                "regions": [
                    {
                        "kind": "Perimeter",
                        "boundary": {"outer": square, "holes": []},
                        "fills": [{"path": square, "width_um": 400}],
                    }
                ],
            }
        ]
    }


def test_lowered_demo_square_text_is_exact():
    expected_points = ",\n".join(
        "              {\n"
        f'                "x": {x},\n'
        f'                "y": {y}\n'
        "              }"
        for x, y in SQUARE
    )
    expected = (
        "{\n"
        '  "layers": [\n'
        "    {\n"
        '      "z_um": 200,\n'
        '      "toolpaths": [\n'
        "        {\n"
        '          "kind": {\n'
        '            "Extrude": "Perimeter"\n'
        "          },\n"
        '          "path": {\n'
        '            "points": [\n'
        f"{expected_points}\n"
        "            ]\n"
        "          },\n"
        '          "width_um": 400\n'
        "        }\n"
        "      ]\n"
        "    }\n"
        "  ]\n"
        "}"
    )
    assert _tolm.lower_to_json(_tolm.demo_square_json()) == expected


def test_empty_program_lowers_to_no_layers():
    assert _tolm.lower_to_json('{"layers": []}') == '{\n  "layers": []\n}'


@pytest.mark.parametrize(
    "fills, expected",
    [
        pytest.param(
            [fill([[0, 0], [1000, 0]]), fill([[1000, 0], [1000, 500]])],
            [extrude([[0, 0], [1000, 0]]), extrude([[1000, 0], [1000, 500]])],
            id="meeting-end-to-start-no-travel",
        ),
        pytest.param(
            [fill([[0, 0], [1000, 0]]), fill([[2000, 0], [2000, 500]])],
            [
                extrude([[0, 0], [1000, 0]]),
                travel([1000, 0], [2000, 0]),
                extrude([[2000, 0], [2000, 500]]),
            ],
            id="gap-gets-travel",
        ),
        pytest.param(
            [fill([[0, 0], [1000, 0]]), fill([[1000, 7], [3000, 7]])],
            [
                extrude([[0, 0], [1000, 0]]),
                travel([1000, 0], [1000, 7]),
                extrude([[1000, 7], [3000, 7]]),
            ],
            id="differs-only-in-y",
        ),
        pytest.param(
            [fill([[5, 5]]), fill([[6, 6]])],
            [extrude([[5, 5]]), travel([5, 5], [6, 6]), extrude([[6, 6]])],
            id="single-point-fills",
        ),
        pytest.param(
            [fill([]), fill([[0, 0], [10, 0]]), fill([])],
            [extrude([[0, 0], [10, 0]])],
            id="empty-fills-dropped",
        ),
        pytest.param(
            [fill([[0, 0], [10, 0]], width=-3), fill([[10, 0], [10, 10]], width=0)],
            [extrude([[0, 0], [10, 0]], width=-3), extrude([[10, 0], [10, 10]], width=0)],
            id="widths-copied-verbatim",
        ),
    ],
)
def test_fills_in_one_region(fills, expected):
    program = lowered(hi((300, [region(fills)])))
    assert program["layers"] == [{"z_um": 300, "toolpaths": expected}]


def test_travel_joins_across_a_region_with_only_an_empty_fill():
    program = lowered(
        hi(
            (
                200,
                [
                    region([fill([[0, 0], [100, 0]])], "Perimeter"),
                    region([fill([])], "Infill"),
                    region([fill([[500, 500], [600, 500]], width=450)], "Skin"),
                ],
            )
        )
    )
    assert program["layers"][0]["toolpaths"] == [
        extrude([[0, 0], [100, 0]]),
        travel([100, 0], [500, 500]),
        extrude([[500, 500], [600, 500]], role="Skin", width=450),
    ]


def test_layers_are_not_linked_and_empty_layers_stay():
    program = lowered(
        hi(
            (200, [region([fill([[0, 0], [100, 0]])])]),
            (400, []),
            (400, [region([])]),
            (600, [region([fill([])])]),
            (-5, [region([fill([[9, 9], [0, 0]])])]),
        )
    )
    assert program["layers"] == [
        {"z_um": 200, "toolpaths": [extrude([[0, 0], [100, 0]])]},
        {"z_um": 400, "toolpaths": []},
        {"z_um": 400, "toolpaths": []},
        {"z_um": 600, "toolpaths": []},
        # the previous extrusion ended elsewhere, yet the new layer begins with its extrusion
        {"z_um": -5, "toolpaths": [extrude([[9, 9], [0, 0]])]},
    ]


@pytest.mark.parametrize("role", ["Perimeter", "Infill", "Skin", "Support"])
def test_roles_survive(role):
    program = lowered(hi((200, [region([fill([[0, 0], [1, 1]])], role)])))
    assert program["layers"][0]["toolpaths"][0]["kind"] == {"Extrude": role}


def test_boundary_is_ignored_and_no_flow_is_written():
    outline = {"outer": pts([[0, 0], [99, 99]]), "holes": [pts([[1, 1]])]}
    source = {
        "layers": [
            {
                "z_um": 200,
                "regions": [
                    {"kind": "Infill", "boundary": outline, "fills": [fill([[0, 0], [1, 0]])]},
                    {"kind": "Infill", "boundary": outline, "fills": [fill([[5, 0], [6, 0]])]},
                ],
            }
        ]
    }
    text = _tolm.lower_to_json(json.dumps(source))
    assert "flow_e" not in text
    toolpaths = json.loads(text)["layers"][0]["toolpaths"]
    assert [tp["kind"] for tp in toolpaths] == [{"Extrude": "Infill"}, "Travel", {"Extrude": "Infill"}]


def test_array_forms_are_accepted():
    # Region, layer and path given as arrays of their field values.
    source = '{"layers": [[100, [["Support", [{"points": []}, []], [[{"points": [[1, 2], [3, 4]]}, 350]]]]]]}'
    assert lowered(source)["layers"] == [
        {"z_um": 100, "toolpaths": [extrude([[1, 2], [3, 4]], role="Support", width=350)]}
    ]


@pytest.mark.parametrize(
    "text, fragment",
    [
        ("{", "EOF"),
        ("{}", "layers"),
        ('{"layers": [{"z_um": 1.5, "regions": []}]}', ""),
        ('{"layers": [{"z_um": 0, "regions": [{"kind": "perimeter", "boundary": {"outer": {"points": []}, "holes": []}, "fills": []}]}]}', "perimeter"),
        ('{"layers": []} x', ""),
        # a low-level program is not a high-level one
        ('{"layers": [{"z_um": 0, "toolpaths": []}]}', "regions"),
    ],
)
def test_bad_input_raises_value_error_with_prefix(text, fragment):
    with pytest.raises(ValueError) as info:
        _tolm.lower_to_json(text)
    message = str(info.value)
    assert message.startswith(HI_PREFIX)
    assert fragment in message
    # the reader's text ends with the position of the fault
    assert message.split(" at line ")[-1].split(" column ")[0].isdigit()


def test_non_str_argument_is_type_error():
    with pytest.raises(TypeError, match="hi_program_json"):
        _tolm.lower_to_json(b'{"layers": []}')


I64_MAX = 2**63 - 1
I64_MIN = -(2**63)


@pytest.mark.parametrize(
    "side_mm, z_mm, side_um, z_um",
    [
        (20.0, 0.2, 20000, 200),
        (1.005, 0.2, 1004, 200),  # the product 1004.9999999999999 is truncated
        (0.0, 0.0, 0, 0),
        (-2.5, -0.0015, -2500, -1),  # truncation toward zero
        (math.nan, math.nan, 0, 0),
        (1e300, -1e300, I64_MAX, I64_MIN),
        (math.inf, -math.inf, I64_MAX, I64_MIN),
        (0.0009, 0.2, 0, 200),
    ],
)
def test_demo_square_sizes_convert_by_truncation(side_mm, z_mm, side_um, z_um):
    gcode = _tolm.demo_square_gcode(side_mm, z_mm)
    lines = gcode.splitlines()
    z_text = lines[lines.index(";LAYER_CHANGE") + 1]
    assert z_text == ";Z:" + _mm3(z_um)
    moves = [line for line in lines if line.startswith("G1 X")]
    corners = [(side_um, 0), (side_um, side_um), (0, side_um), (0, 0)]
    assert [m.split(" E")[0] for m in moves] == [f"G1 X{_mm3(x)} Y{_mm3(y)}" for x, y in corners]


def _mm3(um):
    from decimal import ROUND_HALF_EVEN, Decimal

    return str(Decimal(float(um) / 1000.0).quantize(Decimal("0.001"), rounding=ROUND_HALF_EVEN))


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        (
            "lower_to_json",
            "(hi_program_json)",
            "Lower a HIGH-LEVEL program (JSON) to the low-level move plan, returned as JSON. This is the bridge:\n"
            "its output is the LOW-LEVEL JSON the analysis/verify functions consume.",
        ),
        ("demo_square_json", "()", "The demo square serialized to JSON — a template for building programs."),
    ],
)
def test_signatures_and_docstrings(name, signature, doc):
    function = getattr(_tolm, name)
    assert function.__text_signature__ == signature
    assert function.__doc__ == doc


def test_demo_square_json_takes_no_arguments():
    with pytest.raises(TypeError, match="demo_square_json"):
        _tolm.demo_square_json(1)
