// Placeholder: removed once the raster core has sources.
