INSERT INTO plugin (name, schema_name, db_file, registered_at) VALUES
  ('platform', 'platform', 'platform.db', utc_now()),
  ('event.s', 'event', 'event.db', utc_now()),
  ('inventory', 'inventory', 'inventory.db', utc_now()),
  ('audit', 'audit', 'audit.db', utc_now());

-- The first site is named after the product recorded in public.db.
INSERT INTO site (site_id, name, time_zone)
  SELECT uuid(), value || ' headquarters', 'UTC'
  FROM public.product_info WHERE name = 'product';
