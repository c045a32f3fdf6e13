// The example app's web client, written against the module that `brenvale emit` makes from
// examples/contract.json (generated as ./contract.ts beside this file).
import { Timestamp, doc, getDoc, getFirestore, serverTimestamp, setDoc, updateDoc } from "firebase/firestore";
import { initializeApp } from "firebase/app";
import { commentsPath, postConverter, postsPath, userConverter, usersPath } from "./contract";
import type { CommentWrite, PostUpdate, PostWrite, UserWrite } from "./contract";

const db = getFirestore(initializeApp({ projectId: "demo-brenvale" }));
const author = doc(db, usersPath(), "u1").withConverter(userConverter);

const user: UserWrite = {
  displayName: "Ada",
  email: "ada@example.com",
  createdAt: serverTimestamp(),
  address: { city: "London", country: "UK" },
  preferences: { newsletter: true },
};
await setDoc(doc(db, usersPath(), "u1"), user);

const post: PostWrite = {
  author,
  title: "Hi",
  body: "First",
  summary: "",
  createdAt: serverTimestamp(),
  tags: ["intro"],
};
await setDoc(doc(db, postsPath("u1"), "p1"), post);
const patch: PostUpdate = { status: "published", editedAt: Timestamp.now() };
await updateDoc(doc(db, postsPath("u1"), "p1"), patch);

const comment: CommentWrite = { author, body: "Nice", createdAt: serverTimestamp(), reactions: { like: 1 } };
await setDoc(doc(db, commentsPath("u1", "p1"), "c1"), comment);

const read = (await getDoc(doc(db, postsPath("u1"), "p1").withConverter(postConverter))).data();
if (read) {
  const id: string = read.id;
  const likes: number = read.likeCount ?? 0;
  const created: Timestamp | null = read.createdAt;
  // @ts-expect-error older posts may have no summary
  const summary: string = read.summary;
  console.log(id, likes, created, summary);
}

// @ts-expect-error likeCount is read-only: the write interface has no such member
const cheat: PostWrite = { ...post, likeCount: 1000 };
// @ts-expect-error a server timestamp is written as serverTimestamp(), not a date
const early: PostWrite = { ...post, createdAt: new Date() };
console.log(cheat, early);
