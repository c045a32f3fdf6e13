"""A large bundle written by Pydantic itself, for benchmarks that want real-world text.

`pydantic_bundle(n_models)` builds `n_models` models of 25 fields each (strings, optional
numbers, lists, dicts, tuples, datetimes, enums, nested optional models) and returns the JSON
Schema text Pydantic gives them, indented as `json.dumps(indent=2)` writes it.
"""

from __future__ import annotations

import datetime
import enum
import json


def pydantic_bundle(n_models: int, indent: int | None = 2) -> str:
    from pydantic import create_model
    from pydantic.json_schema import models_json_schema

    status = enum.Enum("Status", {"draft": "draft", "published": "published"}, type=str)
    kinds = [
        (str, ...),
        (int | None, None),
        (list[str], []),
        (float | None, None),
        (datetime.datetime, ...),
        (bool, False),
        (dict[str, int], {}),
        (status, status.draft),
        (tuple[int, str], ...),
        (str | None, None),
    ]
    models = []
    parent = None
    for i in range(n_models):
        fields = {f"field{j}Name": kinds[(i + j) % len(kinds)] for j in range(25)}
        if parent is not None:
            fields["parent"] = (parent | None, None)
        model = create_model(f"Model{i:05d}", **fields)
        # Nest in short chains only: Pydantic's own schema walk recurses along them.
        parent = model if i % 10 else None
        models.append(model)
    _, schema = models_json_schema(
        [(m, "validation") for m in models], ref_template="#/$defs/{model}"
    )
    return json.dumps(schema, indent=indent)
