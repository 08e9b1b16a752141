// Placeholder: removed once the engine has sources.
