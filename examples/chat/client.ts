// The chat app's web client, written against the module that `brenvale emit` makes from
// contract.json (generated as ./contract.ts beside this file) and the zod module that
// `brenvale zod` makes from it (./schemas.ts).
import { initializeApp } from "firebase/app";
import {
  arrayUnion,
  collection,
  doc,
  getDoc,
  getFirestore,
  increment,
  limit,
  onSnapshot,
  orderBy,
  query,
  serverTimestamp,
  setDoc,
  updateDoc,
  type DocumentReference,
} from "firebase/firestore";

import {
  channelConverter,
  channelsPath,
  messageConverter,
  messagesPath,
  userConverter,
  usersPath,
  workspaceConverter,
  workspacesPath,
  type Channel,
  type ChannelWrite,
  type Message,
  type MessageUpdate,
  type MessageWrite,
  type User,
  type UserWrite,
  type WorkspaceWrite,
} from "./contract";
import { MessageWriteSchema, messageValidatingConverter } from "./schemas";

const db = getFirestore(initializeApp({ projectId: "demo-chat" }));

// A reference field is typed DocumentReference<User>: give it a reference that carries the
// User converter, not a bare doc(...), whose type is DocumentReference<DocumentData>.
function userRef(uid: string): DocumentReference<User> {
  return doc(db, usersPath(), uid).withConverter(userConverter);
}

export async function signUp(uid: string, displayName: string, email: string): Promise<void> {
  const user: UserWrite = { displayName, email, createdAt: serverTimestamp() };
  await setDoc(doc(db, usersPath(), uid), user);
}

export async function createWorkspace(ownerUid: string, name: string): Promise<string> {
  const ref = doc(collection(db, workspacesPath()));
  const workspace: WorkspaceWrite = { name, plan: "team", owner: userRef(ownerUid), createdAt: serverTimestamp() };
  await setDoc(ref, workspace);
  return ref.id;
}

export async function openChannel(
  workspaceId: string,
  name: string,
  creatorUid: string,
): Promise<Channel | undefined> {
  const ref = doc(collection(db, channelsPath(workspaceId)));
  const channel: ChannelWrite = {
    name,
    visibility: "public",
    createdBy: userRef(creatorUid),
    createdAt: serverTimestamp(),
  };
  await setDoc(ref, channel);
  const snapshot = await getDoc(ref.withConverter(channelConverter));
  // The converter puts the document id into the read type; undefined if it was deleted meanwhile.
  return snapshot.data();
}

export async function say(workspaceId: string, channelId: string, authorUid: string, text: string): Promise<string> {
  const ref = doc(collection(db, messagesPath(workspaceId, channelId)));
  const message: MessageWrite = {
    author: userRef(authorUid),
    body: { kind: "text", text, mentions: [userRef("bot")] },
    sentAt: serverTimestamp(),
    threadCount: 0,
  };
  await setDoc(ref, message);
  return ref.id;
}

export async function askPoll(workspaceId: string, channelId: string, authorUid: string): Promise<void> {
  const message: MessageWrite = {
    author: userRef(authorUid),
    body: { kind: "poll", question: "Lunch?", options: [{ label: "Now" }, { label: "Later" }], closesAt: new Date() },
    sentAt: serverTimestamp(),
    threadCount: 0,
  };
  await setDoc(doc(collection(db, messagesPath(workspaceId, channelId))), message);
}

export async function react(workspaceId: string, channelId: string, id: string, uid: string): Promise<void> {
  const patch: MessageUpdate = {
    "reactions.👍": arrayUnion(uid),
    threadCount: increment(1),
    editedAt: serverTimestamp(),
  };
  await updateDoc(doc(db, messagesPath(workspaceId, channelId), id), patch);
}

// One line of text per message, whatever its kind: the union narrows on `kind`.
export function preview(message: Message): string {
  switch (message.body.kind) {
    case "text":
      return message.body.text;
    case "image":
      return `[image ${message.body.width}x${message.body.height}]`;
    case "poll":
      return `[poll] ${message.body.question} (${message.body.options.length} options)`;
  }
}

export function watchChannel(workspaceId: string, channelId: string, show: (lines: string[]) => void): () => void {
  const latest = query(
    collection(db, messagesPath(workspaceId, channelId)).withConverter(messageConverter),
    orderBy("sentAt", "desc"),
    limit(50),
  );
  return onSnapshot(latest, (snapshot) =>
    show(
      snapshot.docs.map((d) => {
        const message = d.data();
        // A server timestamp reads as null until the server has set it.
        const when = message.sentAt?.toDate().toISOString() ?? "sending";
        return `${message.id} ${when} ${preview(message)}`;
      }),
    ),
  );
}

export async function workspaceOwner(workspaceId: string): Promise<User | undefined> {
  const workspace = (await getDoc(doc(db, workspacesPath(), workspaceId).withConverter(workspaceConverter))).data();
  if (!workspace) return undefined;
  // A reference read back from Firestore carries no converter: attach it again before reading.
  const owner = await getDoc(workspace.owner.withConverter(userConverter));
  return owner.data();
}

// Messages as stored, checked: a document that does not match the contract throws a ZodError
// whose messages start with its path, instead of reaching the screen half-formed.
export async function readChecked(workspaceId: string, channelId: string, id: string): Promise<Message | undefined> {
  const ref = doc(db, messagesPath(workspaceId, channelId), id).withConverter(messageValidatingConverter);
  const snapshot = await getDoc(ref);
  return snapshot.data();
}

export async function sayChecked(workspaceId: string, channelId: string, input: unknown): Promise<void> {
  // parse() throws a ZodError unless the input is a MessageWrite; its result is typed as one.
  const message: MessageWrite = MessageWriteSchema.parse(input);
  await setDoc(doc(collection(db, messagesPath(workspaceId, channelId))), message);
}

// The generated types reject these mistakes.
export function mistakes(uid: string): void {
  // @ts-expect-error a bare doc() is a DocumentReference<DocumentData>, not a DocumentReference<User>
  const owner: WorkspaceWrite["owner"] = doc(db, usersPath(), uid);
  // @ts-expect-error the body's fields must match its kind
  const body: MessageWrite["body"] = { kind: "image", text: "hi" };
  // @ts-expect-error the write side takes only the known enum members
  const plan: WorkspaceWrite["plan"] = "platinum";
  // @ts-expect-error a server timestamp is written with serverTimestamp(), not a Date
  const sentAt: MessageWrite["sentAt"] = new Date();
  console.log(owner, body, plan, sentAt);
}
