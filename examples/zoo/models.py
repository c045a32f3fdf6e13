"""Document models of the zoo app: every Firestore type, enums, unions, tuples, records, a
nested and a recursive model, the constraints Pydantic checks, and models that keep or refuse
keys they do not declare.

Regenerate the contract from the examples folder:
`brenvale bundle --models zoo.models -o zoo/contract.json`, then the modules with
`brenvale emit zoo/contract.json -o contract.ts` and `brenvale zod zoo/contract.json -o schemas.ts`.
"""

from __future__ import annotations

from datetime import datetime
from enum import Enum
from typing import Annotated, Literal

from pydantic import BaseModel, Field

from brenvale import firestore


class Diet(str, Enum):
    HERBIVORE = "herbivore"
    CARNIVORE = "carnivore"
    OMNIVORE = "omnivore"


class Keeper(BaseModel):
    model_config = firestore.collection("keepers", id_field="id")

    id: str
    name: Annotated[str, Field(min_length=2, max_length=12)]
    badge: Annotated[str, Field(pattern=r"^[A-Z]{2}-[0-9]{3}$")]
    joined_at: Annotated[datetime, firestore.ServerTimestamp]
    photo: bytes | None = None


class Enclosure(BaseModel):
    name: str
    location: Annotated[tuple[float, float], firestore.GeoPoint]
    area: Annotated[float, Field(gt=0, lt=10000)]


class Bird(BaseModel):
    kind: Literal["bird"]
    wingspan: Annotated[float, Field(ge=0.1, le=3.5)]


class Fish(BaseModel):
    kind: Literal["fish"]
    water: Literal["salt", "fresh"]


class Lineage(BaseModel):
    name: str
    parent: Lineage | None = None
    children: list[Lineage] = Field(default_factory=list)


class Animal(BaseModel):
    model_config = firestore.collection("zoos/{zooId}/animals", id_field="id")

    id: str
    name: Annotated[str, Field(max_length=20)]
    diet: Diet
    keeper: Annotated[str, firestore.Reference(Keeper)]
    enclosure: Enclosure
    born_at: datetime | None = None
    weight: Annotated[int, Field(ge=5, multiple_of=5)]
    tags: Annotated[list[str], Field(min_length=1, max_length=4)]
    feeding: tuple[int, str]
    scores: dict[str, float] = Field(default_factory=dict)
    code: int | str
    species: Annotated[Bird | Fish, Field(discriminator="kind")]
    embedding: Annotated[list[float], firestore.Vector] | None = None
    lineage: Lineage | None = None


class Visitor(BaseModel):
    """Keeps keys it does not declare (extra="allow"); its patterns use an inline flag, which
    only Rust's regex and RE2 read, and a nested repetition, which backtracks in JavaScript."""

    model_config = firestore.collection("visitors", id_field="id", extra="allow")

    id: str
    name: Annotated[str, Field(pattern=r"(?i)^[a-z]+( [a-z]+)*$")]
    pass_code: Annotated[str, Field(pattern=r"^(ab+)+$")]


class Ticket(BaseModel):
    """Refuses keys it does not declare (extra="forbid")."""

    model_config = firestore.collection("tickets", id_field="id", extra="forbid")

    id: str
    price: Annotated[int, Field(ge=0)]
