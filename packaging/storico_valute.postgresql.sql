-- The history on a PostgreSQL server: the same table as VALUTE.MDB. Load it once into an empty
-- database (psql -v ON_ERROR_STOP=1 -d valute -f storico_valute.postgresql.sql); the program never
-- creates the table.
--
-- Names are left unquoted, so the server keeps them in lower case and queries find them as written.
-- Codes and dates compare byte by byte whatever the database's locale: yyyymmdd text then sorts as
-- dates do and a lookup by code and day matches exactly what was stored.
-- Text fields may hold '' (and NULL in tables filled by hand). The pair (Tipo_Valuta, Data_Valuta) is
-- the logical key, but older duplicates are tolerated, so the index is not unique.
CREATE TABLE Storico_Valute (
    Tipo_Valuta text COLLATE "C",
    Data_Valuta text COLLATE "C",
    Quotazione  double precision,
    Descrizione text,
    Note        text
);

CREATE INDEX Storico_Valute_Valuta_Data ON Storico_Valute (Tipo_Valuta, Data_Valuta);
