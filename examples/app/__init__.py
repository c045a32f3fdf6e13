"""A small blog stored in Cloud Firestore: users, their posts, and comments on posts."""
