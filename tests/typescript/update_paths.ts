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
