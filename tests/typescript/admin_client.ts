// Server code on the Admin SDK against modules written with --sdk admin. The lines marked to
// expect an error are mistakes that the generated types must reject.
import { FieldValue, GeoPoint, Timestamp, getFirestore, type DocumentReference } from "firebase-admin/firestore";
import { userConverter, usersPath, type User, type UserUpdate, type UserWrite } from "@generated/user_admin";
import { postConverter, postsPath, type PostWrite, type Profile } from "@generated/blog_admin";

const db = getFirestore();

export async function users(id: string): Promise<User | undefined> {
  const ref = db.collection(usersPath()).withConverter(userConverter).doc(id);
  const user = (await ref.get()).data();
  const pending: Timestamp | null | undefined = user?.createdAt;
  // @ts-expect-error a read through the converter has the model's types (were the SDK's types missing, all would be any)
  const email: number | undefined = user?.email;
  // Writes take the Write type without the converter, whose model is the read side.
  const write: UserWrite = { email: "a@example.com", nickname: "a", createdAt: FieldValue.serverTimestamp() };
  await db.collection(usersPath()).doc(id).set(write);
  const patch: UserUpdate = { age: FieldValue.increment(1), nickname: FieldValue.delete() };
  await db.collection(usersPath()).doc(id).update(patch);
  await db.runTransaction(async (transaction) => {
    const snapshot = await transaction.get(ref);
    transaction.update(db.collection(usersPath()).doc(id), { age: (snapshot.data()?.age ?? 0) + 1 } satisfies UserUpdate);
  });
  // @ts-expect-error the doc id is not part of the write model
  const withId: UserWrite = { id, email: "b@example.com", nickname: "b", createdAt: FieldValue.serverTimestamp() };
  void withId, pending, email;
  return user;
}

export async function posts(uid: string, author: DocumentReference<Profile>): Promise<void> {
  const data: PostWrite = {
    title: "Hello", author, createdAt: FieldValue.serverTimestamp(), updatedAt: new Date(), publishedAt: Timestamp.now(),
    status: "draft", priority: 1, kind: "post", schemaVersion: 2, location: new GeoPoint(48.85, 2.35),
    embedding: FieldValue.vector([0.1, 0.2]), thumbnail: new Uint8Array([1, 2]), span: [0, 1],
    labelled: ["home", { city: "Paris", location: new GeoPoint(0, 0) }, new Date()], counters: { views: 0 },
    addressBook: {}, comments: [], statusHistory: ["draft"], tags: [], editor: null,
  };
  await db.collection(postsPath(uid)).add(data);
  const post = (await db.collection(postsPath(uid)).withConverter(postConverter).limit(1).get()).docs[0]?.data();
  const thumbnail: Uint8Array | undefined = post?.thumbnail;
  void thumbnail;
}
