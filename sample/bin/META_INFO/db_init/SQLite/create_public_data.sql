-- public.db: data that every plug-in reads through the schema "public".

CREATE TABLE product_info (
  name  TEXT PRIMARY KEY,
  value TEXT NOT NULL
);

INSERT INTO product_info (name, value) VALUES
  ('product', 'SampleProduct'),
  ('installation_id', uuid()),
  ('created_at', utc_now());

-- Code lists shared by the plug-ins: units of measure and event severities.
CREATE TABLE dictionary (
  category TEXT NOT NULL,
  code     TEXT NOT NULL,
  label    TEXT NOT NULL,
  position INTEGER NOT NULL,
  PRIMARY KEY (category, code)
);

INSERT INTO dictionary (category, code, label, position) VALUES
  ('unit', 'pcs', 'piece', 1),
  ('unit', 'box', 'box', 2),
  ('unit', 'kg', 'kilogram', 3),
  ('unit', 'm2', 'm²', 4),
  ('severity', 'info', 'information', 1),
  ('severity', 'warning', 'warning', 2),
  ('severity', 'error', 'error', 3);
