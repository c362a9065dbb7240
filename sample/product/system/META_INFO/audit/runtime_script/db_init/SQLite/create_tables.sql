-- audit.db: who did what, and when. The plug-in loads no extension library,
-- so its scripts use SQLite's built-in functions only.

CREATE TABLE audit_entry (
  entry_id INTEGER PRIMARY KEY,
  at       TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')),
  actor    TEXT NOT NULL,
  action   TEXT NOT NULL,
  target   TEXT
);

CREATE INDEX audit_entry_by_actor ON audit_entry (actor, at);
