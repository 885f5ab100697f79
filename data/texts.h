#pragma once
// Every text the program shows, in one place. The source is UTF-8; each text is converted
// once to the Windows-1252 bytes that the rest of the program works with.
#include <string>

#include "core/text.h"

namespace data::texts {

inline std::string cp1252(const char* utf8) {
    return core::utf8ToCp1252(utf8);
}

// The import window.
inline const std::string kCaption = cp1252("Importación de facturas");
inline const std::string kDescription = cp1252(
    "Este programa importa el archivo plano de pedidos generado por la aplicación Marquent a "
    "Quorvan. Indique el archivo a importar y presione F2, luego sobre la nueva ventana "
    "presione F2 para generar los archivos.");

inline const std::string kOrigenGroup = cp1252("Origen:");
inline const std::string kServidorLabel = cp1252("Servidor : ");
inline const std::string kTusuaLabel = cp1252("Usuario : ");
inline const std::string kTClaveLabel = cp1252("Clave : ");
inline const std::string kCiaLabel = cp1252("Compañía:");

inline const std::string kParametrosGroup = cp1252("Parámetros ");
inline const std::string kEFecIniLabel = cp1252("Fecha:");
inline const std::string kEPrefLabel = cp1252("Prefijo:");
inline const std::string kUbicacionLabel = cp1252("Ubicación:");
inline const std::string kSeparLabel = cp1252("Separador:");
inline const std::string kDelimLabel = cp1252("Delimitador de texto:");

// Items of the separator list, in the order the run maps them to "," ";" and tab.
inline const std::string kSeparComa = cp1252("Coma (,)");
inline const std::string kSeparPuntoYComa = cp1252("Punto y coma (;)");
inline const std::string kSeparTabulador = cp1252("Tabulador");
// Items of the text delimiter list: none, the double quote, the single quote.
inline const std::string kDelimNinguno = cp1252("Ninguno");
inline const std::string kDelimComillas = cp1252("Comillas (\")");
inline const std::string kDelimComillaSimple = cp1252("Comilla simple (')");

inline const std::string kExplorar = cp1252("Explorar");
inline const std::string kCancelar = cp1252("Esc: Cancelar");
inline const std::string kGenerar = cp1252("F2: Generar");

// The folder picker of the window.
inline const std::string kFolderDialogCaption =
    cp1252("Seleccione la ruta donde se encuentran los archivos a cargar");

// The error box.
inline const std::string kErrorTitle = cp1252("Error");
inline const std::string kOk = cp1252("OK");

// Messages of the settings, the connection and the import run.
inline const std::string kClaveNoEncontrada =
    cp1252("No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\Ostrel\\Quorvan2021\\Directorio");
inline const std::string kConectando = cp1252("Conectando a la base de datos ");
inline const std::string kPuntos = cp1252(" ...");
inline const std::string kImportando = cp1252("Importando facturas. Espere un momento...");
inline const std::string kSinRuta =
    cp1252("Debe indicar antes la ruta de los archivos con los datos a importar.");
inline const std::string kErrorAbrir = cp1252("Error al abrir el archivo");
inline const std::string kConfiguracionNoEncontrada = cp1252("No se encontró la configuración ");
inline const std::string kCodigo = cp1252("Código ");
inline const std::string kNoEncontrado = cp1252(" no encontrado.");
inline const std::string kSinCentro = cp1252("No hay centro para el punto de venta del archivo ");
inline const std::string kSinPuntoVenta = cp1252("No hay punto de venta para el archivo ");
inline const std::string kRegistroSinFin =
    cp1252("Registro sin fin de línea (el archivo se conserva) en ");
inline const std::string kRegistroLargo =
    cp1252("Registro con un campo de más de 1024 caracteres o más de 101 campos en ");
inline const std::string kRegistroNulo = cp1252("Registro con un byte nulo en ");
inline const std::string kNombreSinCp1252 =
    cp1252("Nombre de archivo con caracteres que Windows-1252 no tiene (el archivo se omite) en ");
inline const std::string kNoEsArchivo = cp1252(
    "Nombre de archivo plano que no es un archivo normal (un enlace, una carpeta, una tubería o "
    "un dispositivo; se omite) en ");
inline const std::string kArchivoReciente = cp1252(
    "Archivo modificado hace muy poco, quizá aún se está copiando (se deja para la próxima "
    "importación) en ");
inline const std::string kArchivoModificado =
    cp1252("Archivo modificado o reemplazado después de leído (el archivo se conserva) en ");
inline const std::string kNombreNoRemovible = cp1252(
    "Nombre con un carácter de control o comillas, que no se puede borrar en el servidor (el "
    "archivo se conserva) en ");
inline const std::string kSinResumen =
    cp1252("Archivo sin registro de resumen (el archivo se conserva) en ");
inline const std::string kUltimaRechazada =
    cp1252("La última factura del archivo no se guardó (el archivo se conserva) en ");
inline const std::string kNoSePudoBorrar = cp1252(
    "No se pudo borrar el archivo de la carpeta; se pidió su borrado en el servidor (el "
    "archivo se conserva) en ");
// The remote removal of a finished file: what went wrong, for the error log and the report.
inline const std::string kBorradoRemotoFallido = cp1252(
    "No se pudo borrar en el servidor (se volverá a intentar en la próxima importación) el "
    "archivo ");
inline const std::string kBorradoRemotoAnterior =
    cp1252("Borrado en el servidor pendiente de una importación anterior: ");
inline const std::string kClienteCodigo =
    cp1252("el cliente de transferencia terminó con el código ");
inline const std::string kClienteSenal =
    cp1252("el cliente de transferencia terminó por la señal ");
inline const std::string kClienteSinTerminarInicio =
    cp1252("el cliente de transferencia no terminó en ");
inline const std::string kClienteSinTerminarFin = cp1252(" s y se detuvo");
inline const std::string kClienteNoIniciado =
    cp1252("no se pudo iniciar el cliente de transferencia ");
inline const std::string kGuionNoEscrito =
    cp1252("no se pudo escribir el guion de transferencia: ");
inline const std::string kYaNoEstaba = cp1252("el archivo ya no estaba en el servidor");
inline const std::string kLineaAperturaInvalida =
    cp1252("la línea de conexión del servidor tiene un carácter de control y no se usa; viene de ");
inline const std::string kClienteNoAbsoluto =
    cp1252("IMPORTARFAC_TRANSFER_CLIENT no da la ruta completa del cliente de transferencia");
inline const std::string kSinCarpetaPrograma =
    cp1252("no se sabe en qué carpeta está el programa, donde está el cliente de transferencia");
inline const std::string kEsperandoBorrados =
    cp1252("Esperando a que termine el borrado de los archivos en el servidor...");
inline const std::string kOtraImportacion =
    cp1252("Ya hay otra importación de facturas en curso en la carpeta ");
inline const std::string kOtraImportacionFin =
    cp1252(". Esta no hizo nada; vuelva a intentarlo cuando aquella termine.");
// The same for a run that took the lock hours ago: it may hang, and a person must look.
inline const std::string kOtraImportacionAntigua =
    cp1252("Otra importación de facturas trabaja en la carpeta ");
inline const std::string kLlevaMasDe = cp1252(". Lleva más de ");
inline const std::string kHorasColgada =
    cp1252(" horas y puede estar colgada: compruébelo y deténgala si es así. Esta no hizo nada.");
// Who holds the lock: " (proceso <pid> en <host>, desde <yyyy/mm/dd hh:mm:ss>)".
inline const std::string kProceso = cp1252(" (proceso ");
inline const std::string kEnEquipo = cp1252(" en ");
inline const std::string kDesde = cp1252(", desde ");
inline const std::string kBloqueoNoArchivo = cp1252(
    "El archivo de bloqueo de la importación no es un archivo normal (un enlace, una carpeta, "
    "una tubería o un dispositivo); no se importa nada mientras siga así: ");
inline const std::string kSinConexion = cp1252("No se pudo entablar la conexión con ");
// A branch that refused its copy of an invoice stored in the company; the branch's database
// and what was shown follow.
inline const std::string kCopiaRechazada = cp1252("Copia de la factura rechazada por la sucursal ");
// A transaction an earlier import left in limbo (prepared in some databases, its commit cut
// off); the list of its parts follows, each "<database> (transacción <n>)".
inline const std::string kLimboConfirmada =
    cp1252("Transacción en limbo de una importación anterior, confirmada: ");
inline const std::string kLimboDeshecha =
    cp1252("Transacción en limbo de una importación anterior, deshecha: ");
inline const std::string kLimboPendiente = cp1252(
    "Transacción en limbo de una importación anterior, sin resolver por ahora (una base de "
    "datos no está al alcance u otro proceso la tiene): ");
inline const std::string kLimboContradictoria = cp1252(
    "Transacción en limbo de una importación anterior, confirmada en una base de datos y "
    "deshecha en otra; debe revisarla una persona: ");
inline const std::string kLimboTransaccion = cp1252(" (transacción ");
inline const std::string kLimboFueraDeAlcance = cp1252(", fuera de alcance");
// A lock held by another user of the database past every retry; the invoice's prefix and
// number go between the two parts, the server's text follows on the next line.
inline const std::string kFacturaBloqueadaInicio = cp1252("No se pudo guardar la factura ");
inline const std::string kFacturaBloqueadaFin = cp1252(
    ": otro usuario de la base de datos tiene ocupado un registro que ella necesita, y lo "
    "siguió teniendo después de 4 intentos. No se guardó nada de la factura y el archivo se "
    "conserva para la próxima importación.");

// The second phase of an invoice's distributed commit cut off: every part is prepared, so the
// next run's limbo recovery commits it; the invoice's prefix and number go between the parts,
// the failure's own text follows on the next line.
inline const std::string kFacturaEnDudaInicio = cp1252("La factura ");
inline const std::string kFacturaEnDudaFin = cp1252(
    " quedó preparada en la compañía y en sus sucursales, pero su confirmación no terminó; la "
    "próxima importación la confirma antes de importar.");

// The error translation's messages.
inline const std::string kRegistroExiste = cp1252("Ya existe el registro en la tabla ");
inline const std::string kRelacionInicio =
    cp1252("Está borrando o insertando un registro en la tabla ");
inline const std::string kRelacionFin = cp1252(" que tiene una relación con otra tabla.");
inline const std::string kBorreDetalles =
    cp1252("Error. Borre antes los detalles dependientes del registro.");
inline const std::string kCamposInicio = cp1252("Los campos ");
inline const std::string kCamposFin = cp1252(" son obligatorios.");
inline const std::string kClaveRepetida = cp1252("Ya existe un registro con el mismo ");

}  // namespace data::texts
