"""A worked chat app: Pydantic models, their contract bundle and a TypeScript client."""
