// Placeholder translation unit for a core part that has no sources yet.
