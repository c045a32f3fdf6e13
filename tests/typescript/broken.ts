// Deliberate misuse of a generated module: the type check has to reject it.
import { serverTimestamp } from "firebase/firestore";
import { postsPath, type Post, type PostWrite, type ProfileUpdate } from "@generated/blog";

export function misuse(post: Post): string {
  // A read model (pending server timestamp, no required write fields) is not a write model.
  const write: PostWrite = post;
  // Field values keep their types inside updates.
  const update: ProfileUpdate = { displayName: 42, joinedAt: serverTimestamp() };
  console.log(write, update);
  // The collection path needs its placeholder.
  return postsPath();
}
