// A small app written against generated modules, the way application code uses them. The lines
// marked to expect an error are mistakes that the generated types must reject.
import {
  Bytes, GeoPoint, Timestamp, arrayUnion, collection, deleteField, doc, getDoc, getDocs, getFirestore, increment,
  onSnapshot, serverTimestamp, setDoc, updateDoc, vector, where, type DocumentReference,
} from "firebase/firestore";
import { initializeApp } from "firebase/app";
import {
  audit_logsPath, auditEntryConverter, postConverter, postsPath, profileConverter, usersPath, type AuditEntryWrite,
  type Post, type PostUpdate, type PostWrite, type Profile, type ProfileUpdate, type ProfileWrite, type Status,
} from "@generated/blog";
import { userConverter, usersPath as plainUsersPath, type UserWrite } from "@generated/user";
import { PostSchema, PostWriteSchema, postValidatingConverter } from "@generated/blog_zod";
import type { LineItem, Order } from "@generated/orders";
import { feedItemConverter, feed_itemsPath, type FeedItemWrite } from "@generated/feed";
import type { Flag, Oddities, OdditiesWrite, Tally } from "@generated/edge";
import type { Role } from "@generated/shared";

const db = getFirestore(initializeApp({ projectId: "demo-brenvale" }));

// Queries, listeners and the rest of the SDK surface are used by the example apps' clients.
export async function posts(uid: string, author: DocumentReference<Profile>): Promise<number> {
  const ref = doc(collection(db, postsPath(uid)));
  const data: PostWrite = {
    title: "Hello", author, createdAt: serverTimestamp(), updatedAt: new Date(), publishedAt: Timestamp.now(),
    status: "draft", priority: 1, kind: "post", schemaVersion: 2, location: new GeoPoint(48.85, 2.35),
    embedding: vector([0.1, 0.2]), thumbnail: Bytes.fromUint8Array(new Uint8Array([1, 2])), span: [0, 1],
    labelled: ["home", { city: "Paris", location: new GeoPoint(0, 0) }, new Date()], counters: { views: 0 },
    addressBook: { work: { city: "Lyon", location: new GeoPoint(45.76, 4.83), zip: null } },
    comments: [{ author, text: "first", postedAt: Timestamp.now(), replies: [] }], statusHistory: ["draft"],
    tags: ["intro"], editor: null,
  };
  await setDoc(ref, PostWriteSchema.parse(data));
  const checked = (await getDoc(ref.withConverter(postValidatingConverter))).data();
  const patch: PostUpdate = {
    title: "Edited", updatedAt: serverTimestamp(), "counters.views": increment(1), tags: arrayUnion("edited"),
    notes: deleteField(),
  };
  await updateDoc(ref, patch);
  // Read-side types: the id is injected, server timestamps may still be pending.
  const post = (await getDoc(ref.withConverter(postConverter))).data();
  const created: Date | undefined = post?.createdAt?.toDate();
  const status: Status | (string & {}) | undefined = post?.status;
  const draft = where("status", "==", "draft" satisfies Status);
  console.log(post?.id.length, created, status, post?.location?.latitude, draft, checked?.title.length);
  return (await getDocs(collection(db, postsPath(uid)).withConverter(postConverter))).size;
}

export async function profiles(uid: string, actor: DocumentReference<Profile>): Promise<Profile | undefined> {
  const ref = doc(db, usersPath(), uid);
  const data: ProfileWrite = { displayName: "Ada", joinedAt: serverTimestamp(), "favourite-color": "teal" };
  await setDoc(ref, data);
  const rename: ProfileUpdate = { displayName: "Ada L." };
  await updateDoc(ref, rename);
  const entry: AuditEntryWrite = { action: "update", actor, at: serverTimestamp(), diff: { title: "Edited" } };
  await setDoc(doc(collection(db, audit_logsPath("t1"))), entry);
  await getDocs(collection(db, audit_logsPath("t1")).withConverter(auditEntryConverter));
  const profile = (await getDoc(ref.withConverter(profileConverter))).data();
  return profile && { ...profile, "doc-id": profile["doc-id"].trim() };
}

export async function others(): Promise<void> {
  const data: UserWrite = { email: "a@b.c", nickname: "ab", createdAt: serverTimestamp() };
  await setDoc(doc(db, plainUsersPath(), "u1"), data);
  const user = (await getDoc(doc(db, plainUsersPath(), "u1").withConverter(userConverter))).data();
  const line: LineItem = { sku: "A-1", quantity: 2, unitPrice: { amount: "9.90", currency: "EUR" } };
  const order: Order = { id: user?.id ?? "", items: [line], status: "open", placedAt: "2024-01-01", kind: "order" };
  const role: Role = "member";
  const item: FeedItemWrite = { headline: "hi", audience: role, createdAt: serverTimestamp() };
  await setDoc(doc(collection(db, feed_itemsPath("t1"))), item);
  onSnapshot(collection(db, feed_itemsPath("t1")).withConverter(feedItemConverter), (s) => console.log(s.size));
  console.log(order.total?.amount, order.dimensions?.[2]);
}

// Tuples as their bounds say: a rest of items past the places, a place past minItems left out.
export function tuples(oddities: Oddities): OdditiesWrite["headRest"] {
  const tail: OdditiesWrite["optionalTail"] = ["only"];
  // @ts-expect-error a place past minItems may be missing
  const flag: Flag | null = (oddities.optionalTail ?? tail)[1];
  console.log(tail, flag);
  return [1, "a", null, "b"];
}

export function rejected(post: Post): void {
  // @ts-expect-error a read model (pending server timestamp) is not a write model
  const fromRead: PostWrite = post;
  // @ts-expect-error the write side takes only the known enum members
  const badStatus: PostWrite["status"] = "deleted";
  // @ts-expect-error required write fields cannot be left out
  const missing: ProfileWrite = { displayName: "x" };
  // @ts-expect-error the doc id is not part of the write model
  const withId: ProfileWrite = { displayName: "x", joinedAt: serverTimestamp(), "doc-id": "u1" };
  // @ts-expect-error update values keep their field types
  const badPatch: ProfileUpdate = { displayName: 42, joinedAt: serverTimestamp() };
  // @ts-expect-error a collection path needs its placeholders
  postsPath();
  // @ts-expect-error without --update-paths, UpdateData does not expand interfaces into dotted paths
  const nested: PostUpdate = { "address.city": "Paris" };
  // @ts-expect-error a read schema gives the read model, which is no write model
  const unchecked: PostWrite = PostSchema.parse(post);
  // @ts-expect-error an array of at most 0 items is the empty tuple
  const noItems: OdditiesWrite["noItems"] = [1, 2, 3];
  // @ts-expect-error the rest of a tuple keeps its items' type
  const badRest: OdditiesWrite["headRest"] = [1, 2];
  // A model that is a map types each of its keys.
  const tally: Tally = { apples: 3 };
  const apples: number | undefined = tally["apples"];
  // @ts-expect-error a map model's values keep their type
  const badTally: Tally = { apples: "three" };
  console.log(fromRead, badStatus, missing, withId, badPatch, nested, unchecked, noItems, badRest);
  console.log(apples, badTally);
}
