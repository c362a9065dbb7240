-- event.db: the event types every plug-in registers, and the events.

CREATE TABLE event_type (
  code        TEXT PRIMARY KEY,
  source      TEXT NOT NULL,
  severity    TEXT NOT NULL,
  description TEXT NOT NULL
);

CREATE TABLE event (
  event_id    TEXT PRIMARY KEY,
  code        TEXT NOT NULL REFERENCES event_type (code),
  occurred_at TEXT NOT NULL,
  detail      TEXT
);

CREATE INDEX event_by_time ON event (occurred_at);
