"""The Plumfinch service emulator: state, OAuth checks, HTTP plumbing, services, pages."""
