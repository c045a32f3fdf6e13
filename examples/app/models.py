"""Document models of the example app.

Regenerate the contract from the examples folder:
`brenvale bundle --models app.models -o contract.json`.
"""

from __future__ import annotations

from datetime import datetime
from enum import Enum
from typing import Annotated

from pydantic import BaseModel, ConfigDict, Field
from pydantic.alias_generators import to_camel

from brenvale import firestore


class Document(BaseModel):
    """Python attributes in snake_case; stored documents and TypeScript in camelCase."""

    model_config = ConfigDict(alias_generator=to_camel)


class Role(str, Enum):
    ADMIN = "admin"
    EDITOR = "editor"
    MEMBER = "member"


class PostStatus(str, Enum):
    DRAFT = "draft"
    PUBLISHED = "published"
    ARCHIVED = "archived"


class Address(Document):
    city: str
    country: str
    zip_code: str | None = None


class User(Document):
    model_config = firestore.collection("users", id_field="uid")

    uid: str
    display_name: str
    email: str
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    last_seen_at: datetime | None = None
    role: Role = Role.MEMBER
    address: Address | None = None
    home: Annotated[tuple[float, float], firestore.GeoPoint] | None = None
    preferences: dict[str, bool] = Field(default_factory=dict)


class Post(Document):
    model_config = firestore.collection("users/{uid}/posts", id_field="id")

    id: str
    author: Annotated[str, firestore.Reference(User)]
    title: str
    body: str
    status: PostStatus = PostStatus.DRAFT
    tags: list[str] = Field(default_factory=list)
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    edited_at: datetime | None = None
    cover_image: bytes | None = None
    like_count: Annotated[int, firestore.ReadOnly] = 0
    # Added after launch: older posts have no summary even though new ones must.
    summary: Annotated[str, firestore.MayBeAbsent]


class Comment(Document):
    model_config = firestore.collection("users/{uid}/posts/{postId}/comments", id_field="id")

    id: str
    author: Annotated[str, firestore.Reference(User)]
    body: str
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    reply_to: Annotated[str, firestore.Reference("Comment")] | None = None
    reactions: dict[str, int] = Field(default_factory=dict)
