// Placeholder so the layer library has a source until its first real file lands.
