-- platform.db: the plug-ins of the installation and its sites.

CREATE TABLE plugin (
  name          TEXT PRIMARY KEY,
  schema_name   TEXT NOT NULL,
  db_file       TEXT NOT NULL,
  registered_at TEXT NOT NULL
);

CREATE TABLE site (
  site_id   TEXT PRIMARY KEY,
  name      TEXT NOT NULL,
  time_zone TEXT NOT NULL
);
