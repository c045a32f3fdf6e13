// The chat app's server side (Cloud Functions, scripts) on firebase-admin, written against the
// module that `brenvale emit contract.json --sdk admin -o contract_admin.ts` makes beside this file.
import { FieldValue, getFirestore, type Transaction } from "firebase-admin/firestore";

import {
  memberConverter,
  membersPath,
  userConverter,
  usersPath,
  workspaceConverter,
  workspacesPath,
  type MemberWrite,
  type User,
  type UserUpdate,
  type UserWrite,
  type WorkspaceUpdate,
} from "./contract_admin";

const db = getFirestore();

// On sign-up: the user's profile, with the server's clock.
export async function createUser(uid: string, email: string, displayName: string): Promise<void> {
  const profile: UserWrite = { email, displayName, createdAt: FieldValue.serverTimestamp() };
  await db.collection(usersPath()).doc(uid).set(profile);
}

// Reads go through the converter: typed, with the id filled in.
export async function readUser(uid: string): Promise<User | undefined> {
  const user = (await db.collection(usersPath()).withConverter(userConverter).doc(uid).get()).data();
  // @ts-expect-error a read through the converter has the model's types (were the SDK's types missing, all would be any)
  const misread: number | undefined = user?.email;
  void misread;
  return user;
}

export async function touchUser(uid: string): Promise<void> {
  const patch: UserUpdate = { lastSeenAt: FieldValue.serverTimestamp(), photoUrl: FieldValue.delete() };
  await db.collection(usersPath()).doc(uid).update(patch);
  // @ts-expect-error the uid is the document's id, not a field to write
  const withId: UserUpdate = { uid };
  void withId;
}

// Joining a workspace adds the member and counts it in one transaction.
export async function join(workspaceId: string, uid: string): Promise<number> {
  return db.runTransaction(async (transaction: Transaction) => {
    const workspaceRef = db.collection(workspacesPath()).withConverter(workspaceConverter).doc(workspaceId);
    const workspace = (await transaction.get(workspaceRef)).data();
    const member: MemberWrite = {
      user: db.collection(usersPath()).withConverter(userConverter).doc(uid), role: "member",
      joinedAt: FieldValue.serverTimestamp(),
    };
    transaction.set(db.collection(membersPath(workspaceId)).doc(uid), member);
    // memberCount is read-only for clients (the web module's WorkspaceUpdate leaves it out); the
    // server owns it, so the admin module's update type takes it.
    const counted: WorkspaceUpdate = { memberCount: FieldValue.increment(1) };
    transaction.update(db.collection(workspacesPath()).doc(workspaceId), counted);
    return (workspace?.memberCount ?? 0) + 1;
  });
}

export async function members(workspaceId: string): Promise<string[]> {
  const snapshot = await db.collection(membersPath(workspaceId)).withConverter(memberConverter).get();
  return snapshot.docs.map((doc) => doc.data().uid);
}
