// Placeholder so the benchmark executable links before the first benchmark lands.
