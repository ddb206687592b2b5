// Anchor source of the shared object; its contents come from the archives.
