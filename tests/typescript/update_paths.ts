// Updates by Firestore field path against modules emitted with --update-paths. The lines marked
// to expect an error are mistakes the update types must still reject.
import { GeoPoint, deleteField, doc, getFirestore, increment, serverTimestamp, updateDoc } from "firebase/firestore";
import { initializeApp } from "firebase/app";
import { postsPath, type PostUpdate } from "@generated/blog_paths";

const db = getFirestore(initializeApp({ projectId: "demo-brenvale" }));

export async function edit(uid: string): Promise<void> {
  const patch: PostUpdate = {
    "address.city": "Paris", // a field of a nested model
    "addressBook.work.location": new GeoPoint(45.76, 4.83), // two levels deep, through a map key
    "counters.views": increment(1),
    "address.zip": deleteField(),
    updatedAt: serverTimestamp(),
    publishedAt: new Date(),
    status: "published",
  };
  await updateDoc(doc(db, postsPath(uid), "p1"), patch);
  // @ts-expect-error a dotted path keeps its field's type
  const wrongType: PostUpdate = { "address.city": 42 };
  // @ts-expect-error a path the model does not have
  const unknownPath: PostUpdate = { "address.country": "FR" };
  // @ts-expect-error the write side takes only the known enum members
  const removedMember: PostUpdate = { status: "deleted" };
  console.log(wrongType, unknownPath, removedMember);
}

// Paths stop at 8 fields, so a model that refers to itself and a long chain of models compile.
import { FieldPath } from "firebase/firestore";
import { FieldValue as AdminFieldValue, getFirestore as getAdminFirestore } from "firebase-admin/firestore";
import type { Level0Update, NodeUpdate } from "@generated/deep_paths";
import { leafFieldPathUpdate, leavesPath, type LeafUpdate } from "@generated/deep";
import type { NodeUpdate as AdminNodeUpdate, ThreadUpdate as AdminThreadUpdate } from "@generated/deep_admin_paths";
import {
  leafFieldPathUpdate as adminLeafFieldPathUpdate, type Level0Update as AdminLevel0Update,
} from "@generated/deep_admin_paths";
import type { PostUpdate as AdminPostUpdate } from "@generated/blog_admin_paths";

export async function deep(): Promise<void> {
  const near: Level0Update = { "next1.next0.name": "x", "next0.next1.next0.next1.next0.next1.next0.name": "y" };
  const self: NodeUpdate = { "parent.parent.name": "up", "byName.a": { name: "a" }, name: deleteField() };
  // @ts-expect-error a path past 8 fields: the model there is updated whole
  const tooDeep: Level0Update = { "next0.next0.next0.next0.next0.next0.next0.next0.name": "z" };
  // @ts-expect-error a field named "a.b" is no key: Firestore would read it as a -> b
  const dotted: NodeUpdate = { "a.b": "x" };
  // @ts-expect-error the same without update paths
  const dottedPlain: LeafUpdate = { "x/y": 1 };
  await updateDoc(doc(db, leavesPath(), "l1"), ...leafFieldPathUpdate("x/y", 2));
  // @ts-expect-error the FieldPath function keeps the field's type
  leafFieldPathUpdate("x/y", "two");
  console.log(near, self, tooDeep, dotted, dottedPlain, new FieldPath("a.b"));
}

// The Admin SDK: dotted paths where its UpdateData compiles; a map of references keeps fields whole.
export async function deepAdmin(): Promise<void> {
  const ref = getAdminFirestore().collection("leaves").doc("l1");
  const chained: AdminLevel0Update = { "next1.next0.name": "x" };
  const post: AdminPostUpdate = { "address.city": "Paris" };
  // @ts-expect-error a dotted path keeps its field's type
  const wrong: AdminPostUpdate = { "address.city": 42 };
  // A map's entries take the SDK's FieldValues, which its own UpdateData refuses there.
  const counted: AdminPostUpdate = {
    "counters.views": AdminFieldValue.increment(1), "counters.likes": AdminFieldValue.delete(),
  };
  // @ts-expect-error a map's entry keeps the map's value type
  const wrongEntry: AdminPostUpdate = { "counters.views": "lots" };
  const whole: AdminNodeUpdate = { name: "n", parent: null };
  // @ts-expect-error no dotted paths into a model whose maps hold references
  const refused: AdminNodeUpdate = { "parent.name": "n" };
  await ref.update(...adminLeafFieldPathUpdate("x/y", 3));
  // A map that holds its own model back: fields whole, where UpdateData would be circular.
  const thread: AdminThreadUpdate = { title: "t", replies: { r1: { text: "hi", replies: {} } } };
  // @ts-expect-error no dotted paths into such a map
  const threadPath: AdminThreadUpdate = { "replies.r1": { text: "hi" } };
  console.log(chained, post, wrong, counted, wrongEntry, whole, refused, thread, threadPath);
}
