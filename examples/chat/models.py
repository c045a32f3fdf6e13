"""Document models of a chat app: users, workspaces with members and channels, and messages.

Regenerate the contract from the examples folder:
`brenvale bundle --models chat.models -o chat/contract.json`, then the TypeScript module with
`brenvale emit chat/contract.json -o web/src/contract.ts` (or wherever the web app keeps it).
"""

from __future__ import annotations

from datetime import datetime
from enum import Enum
from typing import Annotated, Literal

from pydantic import BaseModel, ConfigDict, Field
from pydantic.alias_generators import to_camel

from brenvale import firestore


class Document(BaseModel):
    """Python attributes in snake_case; stored documents and TypeScript in camelCase."""

    model_config = ConfigDict(alias_generator=to_camel, populate_by_name=True)


class Plan(str, Enum):
    FREE = "free"
    TEAM = "team"
    ENTERPRISE = "enterprise"


class Role(str, Enum):
    OWNER = "owner"
    ADMIN = "admin"
    MEMBER = "member"
    GUEST = "guest"


class Visibility(str, Enum):
    PUBLIC = "public"
    PRIVATE = "private"


class User(Document):
    model_config = firestore.collection("users", id_field="uid")

    uid: str
    display_name: str
    email: str
    photo_url: str | None = None
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    last_seen_at: datetime | None = None


class Workspace(Document):
    model_config = firestore.collection("workspaces", id_field="id")

    id: str
    name: str
    plan: Plan = Plan.FREE
    owner: Annotated[str, firestore.Reference(User)]
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    # Kept up to date by a Cloud Function; clients never write it.
    member_count: Annotated[int, firestore.ReadOnly] = 0


class Member(Document):
    model_config = firestore.collection("workspaces/{workspaceId}/members", id_field="uid")

    uid: str
    user: Annotated[str, firestore.Reference(User)]
    role: Role = Role.MEMBER
    joined_at: Annotated[datetime, firestore.ServerTimestamp]


class Channel(Document):
    model_config = firestore.collection("workspaces/{workspaceId}/channels", id_field="id")

    id: str
    name: str
    visibility: Visibility
    topic: str | None = None
    created_by: Annotated[str, firestore.Reference(User)]
    created_at: Annotated[datetime, firestore.ServerTimestamp]
    last_message_at: datetime | None = None


# The body of a message is one of these; `kind` tells them apart, in Python and in TypeScript.
class TextBody(Document):
    kind: Literal["text"]
    text: str
    mentions: list[Annotated[str, firestore.Reference(User)]] = Field(default_factory=list)


class ImageBody(Document):
    kind: Literal["image"]
    url: str
    width: int
    height: int
    thumbnail: bytes | None = None


class PollOption(Document):
    label: str
    votes: list[str] = Field(default_factory=list)


class PollBody(Document):
    kind: Literal["poll"]
    question: str
    options: list[PollOption]
    closes_at: datetime | None = None


class Message(Document):
    model_config = firestore.collection(
        "workspaces/{workspaceId}/channels/{channelId}/messages", id_field="id"
    )

    id: str
    author: Annotated[str, firestore.Reference(User)]
    body: Annotated[TextBody | ImageBody | PollBody, Field(discriminator="kind")]
    sent_at: Annotated[datetime, firestore.ServerTimestamp]
    edited_at: datetime | None = None
    reply_to: Annotated[str, firestore.Reference("Message")] | None = None
    # Emoji to the uids of those who reacted with it.
    reactions: dict[str, list[str]] = Field(default_factory=dict)
    pinned: bool = False
    # Added after launch: messages written before it have no thread count.
    thread_count: Annotated[int, firestore.MayBeAbsent]
